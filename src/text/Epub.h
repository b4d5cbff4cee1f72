#pragma once
// EPUB 2 and 3 books, read through a container (the caller's ZIP reader).
//
// META-INF/container.xml names the package document (else the first .opf
// member is taken); its spine gives the reading order (linear items first,
// then the others), its manifest the members, its metadata the title, the
// authors and the description (the first topic, see AddAnnotation). Chapters start where the navigation points: the EPUB 3 navigation
// document's "toc" nav, else the NCX (toc.ncx) of EPUB 2; an entry that points
// into a spine file (file.xhtml#id) starts its chapter at that element, so a
// file holding several chapters is split there, and the entry's label names
// the chapter. A spine file no entry points to starts a chapter named after
// its first heading when it has one, and otherwise goes on with the chapter
// before it. What comes before the first chapter is the text before it. The
// spine's XHTML is read as HTML (Htmltext.h). The navigation document (the
// manifest's "nav" item) and the guide's contents page are never text of the
// book, also when the spine lists them. Without a spine there is no book.

#include "text/Bookimport.h"

#include <string>

namespace volm {

TBook ImportEpub(TBookContainer& container, const std::string& fileName, const TBookOptions& options);

// A path inside the container from `href` (URL-encoded, relative to the folder
// of `base`, a member name): "%20" decoded, "." and ".." resolved, the
// fragment ("#id") cut off into `fragment`.
std::string ResolveHref(const std::string& base, const std::string& href, std::string* fragment = nullptr);

} // namespace volm
