#pragma once
// Book files into a project: a book file is read whole before anything is
// appended (an EPUB or zipped FB2 through the archive reader, whose members
// are read into memory with its size limits), and its topics are appended all
// or none.

#include "storage/Project.h"
#include "text/Bookimport.h"

#include <string>
#include <vector>

namespace volm {

// Reads the book at `path` (any format Bookimport knows). Raises volm::Error
// naming the file and the cause.
TBook ReadBookFile(const std::string& path, const TBookOptions& options);

// Appends the topics to the end of the project, each with its text, all or
// none (TProject::AppendTopics), and returns their indices; with a `title`
// and a project without one, the title is stored with them. On a failure the
// project lists none of them and the error is raised.
std::vector<size_t> AppendBookTopics(TProject& project, const std::vector<TBookTopic>& topics,
                                     const std::string& title = {});

} // namespace volm
