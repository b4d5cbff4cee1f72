#include "book/Topiccommands.h"

#include "book/Bookfile.h"
#include "common/Fileio.h"
#include "text/Textlines.h"

namespace volm {

namespace {

std::string quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

std::string topicsCount(size_t n)
{
    return std::to_string(n) + (n == 1 ? " topic" : " topics");
}

} // namespace

// Collects the steps of one command into one change, recorded when the
// command ends, also part-way: what did land can be taken back.
class TTopicCommands::TGroup {
public:
    TGroup(TTopicCommands& c, std::string what) : c_(c), outer_(c.group_)
    {
        change_.what = std::move(what);
        if (!outer_)
            c_.group_ = &change_;
    }
    ~TGroup()
    {
        if (outer_)
            return;
        c_.group_ = nullptr;
        c_.recordChange(std::move(change_));
    }
    void Name(std::string what) { change_.what = std::move(what); }
    size_t Steps() const { return change_.steps.size(); }

private:
    TTopicCommands& c_;
    TTopicChange* outer_;
    TTopicChange change_;
};

TTopicCommands::TTopicCommands(TProject& project, ITopicListView* view) : project_(project), view_(view) {}

void TTopicCommands::record(const TTopicStep& step, const std::string& what)
{
    if (replaying_)
        return;
    if (group_)
        group_->steps.push_back(step);
    else
        recordChange(TTopicChange{what, {step}});
}

void TTopicCommands::recordChange(TTopicChange change)
{
    if (change.steps.empty())
        return;
    const std::string what = change.what;
    history_.Record(std::move(change));
    if (view_)
        view_->ChangeRecorded(what);
}

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
    record({TTopicStep::skInsert, index, 0, project_.Topic(index).Name, {}, {}},
           "Topic " + quoted(project_.Topic(index).Name) + " appended");
    if (view_)
        view_->TopicAppended(index);
    return index;
}

void TTopicCommands::Delete(size_t index)
{
    const std::string name = project_.Topic(index).Name; // range check: a topic that is not there raises untold
    std::string text;
    bool known = true;
    if (!replaying_) {
        try {
            text = project_.GetText(index);
        } catch (const std::exception&) {
            known = false; // it can go, but not come back
        }
    }
    const size_t before = project_.TopicCount();
    const auto gone = [&] {
        if (!known)
            history_.Clear();
        else
            record({TTopicStep::skRemove, index, 0, name, text, {}}, "Topic " + quoted(name) + " deleted");
    };
    try {
        project_.DeleteTopic(index);
    } catch (...) {
        if (project_.TopicCount() < before) {
            gone();
            if (view_)
                view_->TopicDeleted(index);
        }
        throw;
    }
    gone();
    if (view_)
        view_->TopicDeleted(index);
}

void TTopicCommands::Move(size_t from, size_t to)
{
    project_.MoveTopic(from, to);
    if (from == to)
        return;
    record({TTopicStep::skMove, from, to, {}, {}, {}}, "Topic " + quoted(project_.Topic(to).Name) + " moved");
    if (view_)
        view_->TopicMoved(from, to);
}

void TTopicCommands::Rename(size_t index, const std::string& name)
{
    const std::string old = project_.Topic(index).Name;
    project_.RenameTopic(index, name);
    record({TTopicStep::skRename, index, 0, name, {}, old},
           "Topic " + quoted(old) + " renamed to " + quoted(name));
    if (view_)
        view_->TopicRenamed(index);
}

void TTopicCommands::SetText(size_t index, const std::string& text)
{
    std::string old;
    bool known = true;
    if (!replaying_) {
        try {
            old = project_.GetText(index);
        } catch (const std::exception&) {
            known = false; // a text that can't be read is replaced all the same, for good
        }
    }
    project_.CommitText(index, text);
    if (!known)
        history_.Clear();
    else
        record({TTopicStep::skText, index, 0, {}, text, old},
               "Text of topic " + quoted(project_.Topic(index).Name) + " committed");
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
    TGroup group(*this, {});
    for (const std::string& name : list.names) {
        if (name.empty()) {
            ++result.skipped;
            continue;
        }
        try {
            Append(name);
        } catch (const std::exception& e) {
            result.failure = e.what();
            break;
        }
        ++result.appended;
    }
    group.Name(topicsCount(result.appended) + " of the list appended");
    return result;
}

size_t TTopicCommands::AppendTextFile(const std::string& name, const std::string& path, bool detect,
                                      TDetection* found)
{
    const std::string text = LoadedText(ReadWholeFile(path, kMaxTextFileSize), detect, found);
    TGroup group(*this, {});
    const size_t index = Append(name);
    group.Name("Topic " + quoted(project_.Topic(index).Name) + " appended");
    SetText(index, text);
    return index;
}

std::vector<size_t> TTopicCommands::AppendBook(const std::vector<TBookTopic>& topics)
{
    std::vector<size_t> added = AppendBookTopics(project_, topics);
    TTopicChange change{topicsCount(added.size()) + " of the book appended", {}};
    for (size_t i = 0; i < added.size(); ++i)
        change.steps.push_back({TTopicStep::skInsert, added[i], 0, project_.Topic(added[i]).Name, topics[i].text, {}});
    if (!replaying_) {
        if (group_)
            group_->steps.insert(group_->steps.end(), change.steps.begin(), change.steps.end());
        else
            recordChange(std::move(change));
    }
    if (view_)
        for (size_t index : added)
            view_->TopicAppended(index);
    return added;
}

void TTopicCommands::apply(const TTopicStep& step)
{
    switch (step.kind) {
    case TTopicStep::skInsert: {
        const size_t i = Append(step.name);
        if (!step.text.empty())
            SetText(i, step.text);
        if (i != step.index)
            Move(i, step.index);
        break;
    }
    case TTopicStep::skRemove:
        Delete(step.index);
        break;
    case TTopicStep::skMove:
        Move(step.index, step.to);
        break;
    case TTopicStep::skRename:
        Rename(step.index, step.name);
        break;
    case TTopicStep::skText:
        SetText(step.index, step.text);
        break;
    }
}

std::string TTopicCommands::Undo()
{
    return replay(true);
}

std::string TTopicCommands::Redo()
{
    return replay(false);
}

// Undoes the last change (its steps inverted, last first) or redoes the last
// undone one. A step that fails leaves the history empty: what it records
// no longer matches the project.
std::string TTopicCommands::replay(bool undo)
{
    if (undo ? !history_.CanUndo() : !history_.CanRedo())
        return {};
    TTopicChange change = undo ? history_.TakeUndo() : history_.TakeRedo();
    replaying_ = true;
    try {
        if (undo) {
            for (auto s = change.steps.rbegin(); s != change.steps.rend(); ++s)
                apply(s->Inverse());
        } else {
            for (const TTopicStep& s : change.steps)
                apply(s);
        }
    } catch (...) {
        replaying_ = false;
        history_.Clear();
        throw;
    }
    replaying_ = false;
    std::string what = change.what;
    if (undo)
        history_.PushUndone(std::move(change));
    else
        history_.PushRedone(std::move(change));
    return what;
}

} // namespace volm
