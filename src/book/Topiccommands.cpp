#include "book/Topiccommands.h"

#include "book/Bookfile.h"
#include "common/Fileio.h"
#include "text/Textlines.h"

namespace volm {

TTopicCommands::TTopicCommands(TProject& project, ITopicListView* view) : project_(project), view_(view) {}

size_t TTopicCommands::Append(const std::string& name)
{
    size_t index = 0;
    try {
        index = project_.AddTopic(name);
    } catch (...) {
        if (view_)
            view_->TopicAppendFailed(name);
        throw;
    }
    if (view_)
        view_->TopicAppended(index);
    return index;
}

void TTopicCommands::Delete(size_t index)
{
    project_.Topic(index); // range check: a topic that is not there raises untold
    const size_t before = project_.TopicCount();
    try {
        project_.DeleteTopic(index);
    } catch (...) {
        if (view_ && project_.TopicCount() < before)
            view_->TopicDeleted(index);
        throw;
    }
    if (view_)
        view_->TopicDeleted(index);
}

void TTopicCommands::Move(size_t from, size_t to)
{
    project_.MoveTopic(from, to);
    if (view_ && from != to)
        view_->TopicMoved(from, to);
}

void TTopicCommands::Rename(size_t index, const std::string& name)
{
    project_.RenameTopic(index, name);
    if (view_)
        view_->TopicRenamed(index);
}

void TTopicCommands::SetText(size_t index, const std::string& text)
{
    project_.CommitText(index, text);
    if (view_)
        view_->TopicTextChanged(index);
}

TListAppend TTopicCommands::AppendList(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path, kMaxTextFileSize);
    TDecodedList list = DecodeTopicList(bytes);
    TListAppend result;
    result.cutAt = LoadedTextCut(bytes, &list.found);
    if (!list.refused.empty()) {
        result.refused = std::move(list.refused);
        return result;
    }
    for (const std::string& name : list.names) {
        try {
            Append(name);
        } catch (const std::exception& e) {
            result.failure = e.what();
            break;
        }
        ++result.appended;
    }
    return result;
}

size_t TTopicCommands::AppendTextFile(const std::string& name, const std::string& path, bool detect,
                                      TDetection* found)
{
    const std::string text = LoadedText(ReadWholeFile(path, kMaxTextFileSize), detect, found);
    const size_t index = Append(name);
    SetText(index, text);
    return index;
}

std::vector<size_t> TTopicCommands::AppendBook(const std::vector<TBookTopic>& topics)
{
    std::vector<size_t> added = AppendBookTopics(project_, topics);
    if (view_)
        for (size_t index : added)
            view_->TopicAppended(index);
    return added;
}

} // namespace volm
