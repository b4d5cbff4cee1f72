#pragma once
// FB2 (FictionBook 2) books, read with libxml2's streaming reader (Xmlread.h)
// in whatever encoding the document declares.
//
// The first body holds the book; a topic is made of every innermost section
// with text, named after its title (the title's paragraphs joined with ". ").
// A section's title and epigraph go with the first section inside it. The
// body's own title and epigraph come before the first chapter. Epigraphs,
// poems (their stanzas apart by an empty line), citations, subtitles, text
// authors and table rows are kept as paragraphs; emphasis, strong and the
// other inline markup as their plain text; a note reference as "[1]" unless
// it is bracketed already; empty-line as an empty line. A later body with a
// name ("notes", "comments") becomes a final topic named after its title, or
// "Notes". Binaries (images) are skipped. The description's book title and
// authors name the book.

#include "text/Bookimport.h"

#include <string>
#include <string_view>

namespace volm {

TBook ImportFb2(std::string_view bytes, const std::string& fileName, const TBookOptions& options);

} // namespace volm
