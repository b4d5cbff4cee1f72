# The Debian package: after a Release build, `cpack -G DEB` in the build
# folder (or scripts/make-deb) gives volm_VERSION_ARCH.deb. Its library
# dependencies come from dpkg-shlibdeps; the fonts are what the program draws
# its text and the phone's font images with (the default font, Courier New, is
# matched by Liberation Mono).
set(CPACK_PACKAGE_NAME volm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Volm authors")
set(CPACK_PACKAGE_CONTACT "The Volm authors <author@volm.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn plain texts into e-books for Java phones")
set(CPACK_PACKAGE_DESCRIPTION
"Volm makes electronic books that run on Java phones (MIDP 1.0 on CLDC 1.0).
A book is a project file holding an ordered list of named topics, each a plain
text; Volm generates from it the phone application that lists the topics and
shows their texts: a jar and its descriptor.
.
The desktop program, volm, edits projects, loads texts in one of the Cyrillic
code pages (detected on loading), chooses the desktop font the phone's font
image is drawn from and builds the book. volm-cli does every project operation
and the build from the command line, without a display.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://volm.example.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME volm)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation | fonts-liberation2, fonts-dejavu-core, hyphen-ru, hyphen-en-us")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
