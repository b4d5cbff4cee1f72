# The outside programs the tests check our files with. Where one is missing
# the tests that need it skip, saying so; in CI (CI=true in the environment)
# a skip fails the run, so configure refuses at once and names what to install.
set(VOLM_CI OFF)
if("$ENV{CI}" STREQUAL "true")
  set(VOLM_CI ON)
endif()

if(VOLM_CI)
  set(missing)
  # program: Debian package
  set(volm_test_programs
    gsf:libgsf-bin unzip:unzip zipinfo:unzip pngcheck:pngcheck
    java:default-jdk-headless javac:default-jdk-headless javap:default-jdk-headless
    jar:default-jdk-headless ecj:ecj proguard:proguard
    rsvg-convert:librsvg2-bin desktop-file-validate:desktop-file-utils
    update-mime-database:shared-mime-info dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev
    lintian:lintian fc-list:fontconfig curl:curl)
  foreach(entry ${volm_test_programs})
    string(REPLACE ":" ";" pair "${entry}")
    list(GET pair 0 program)
    list(GET pair 1 package)
    string(MAKE_C_IDENTIFIER "VOLM_TOOL_${program}" var)
    find_program(${var} ${program})
    if(NOT ${var})
      list(APPEND missing "${program} (${package})")
    endif()
  endforeach()
  # Debian's own python3 holds olefile and Pillow.
  if(NOT EXISTS /usr/bin/python3)
    list(APPEND missing "/usr/bin/python3 (python3)")
  else()
    execute_process(COMMAND /usr/bin/python3 -c "import olefile, PIL"
                    RESULT_VARIABLE py_status OUTPUT_QUIET ERROR_QUIET)
    if(NOT py_status EQUAL 0)
      list(APPEND missing "olefile and Pillow for /usr/bin/python3 (python3-olefile python3-pil)")
    endif()
  endif()
  # The font dialog's tests need a fixed-pitch font.
  if(VOLM_TOOL_fc_list)
    execute_process(COMMAND ${VOLM_TOOL_fc_list} :spacing=mono family
                    OUTPUT_VARIABLE mono_fonts ERROR_QUIET)
    if(mono_fonts STREQUAL "")
      list(APPEND missing "a fixed-pitch font (fonts-dejavu-core)")
    endif()
  endif()
  if(missing)
    list(JOIN missing "\n  " missing_text)
    message(FATAL_ERROR "CI=true and the tests need what is not installed:\n  ${missing_text}\n"
                        "scripts/install-deps installs it.")
  endif()
endif()

# volm_skips_with(TEST CODE): TEST exits with CODE when it cannot tell (a
# tool missing where that is allowed). Outside CI that is a skip; in CI it
# fails, unless the test is declared with volm_may_skip_in_ci.
function(volm_skips_with test code)
  get_property(declared GLOBAL PROPERTY VOLM_CI_SKIPS)
  if(NOT VOLM_CI OR test IN_LIST declared)
    set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE ${code})
  endif()
endfunction()

# volm_may_skip_in_ci(TEST REASON): the one list of CTest tests (scripts, not
# GoogleTest cases: those are in tests/Ciskips.h) that may skip in CI.
function(volm_may_skip_in_ci test reason)
  if(reason STREQUAL "")
    message(FATAL_ERROR "volm_may_skip_in_ci(${test}) needs its reason")
  endif()
  set_property(GLOBAL APPEND PROPERTY VOLM_CI_SKIPS ${test})
endfunction()
