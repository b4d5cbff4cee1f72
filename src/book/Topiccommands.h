#pragma once
// What the topic list's commands do to a project: append a topic, delete,
// move and rename one, append the names of a list file, append text files
// and whole books, replace a topic's text. No window is needed: the project
// window calls these, and so do tests and whatever else drives the list.
//
// Whoever shows the list follows it through an ITopicListView, told of each
// change as it lands, so the list and what shows it never disagree, whoever
// made the change. A failure raises (volm::Error naming the file and the
// cause) after the view has been told what did change.
//
// Every change is recorded in the commands' history, one entry per command
// (a list or a book is one entry), and Undo and Redo take it back and make it
// again through the same commands, so the file and the view follow.

#include "book/Topichistory.h"
#include "storage/Project.h"
#include "text/Bookimport.h"
#include "text/Detect.h"

#include <cstddef>
#include <string>
#include <vector>

namespace volm {

// Told of every change of the topic list, in the order of the changes.
// Indexes are positions in the project's list once the change is made.
class ITopicListView {
public:
    virtual ~ITopicListView() = default;
    // The topic at `index`, the last, was appended (with its text, when it
    // came with one).
    virtual void TopicAppended(size_t index) = 0;
    // Appending a topic named `name` failed; nothing was appended. A view may
    // show the name all the same (the project window keeps it in its list,
    // without a topic, until the project is opened again).
    virtual void TopicAppendFailed(const std::string& name) = 0;
    // The topic that was at `index` is gone; the ones after it moved up.
    virtual void TopicDeleted(size_t index) = 0;
    // The topic at `from` is now at `to`; the topics between moved by one,
    // and every topic from `from` to `to` may have a new storage number.
    virtual void TopicMoved(size_t from, size_t to) = 0;
    // The topic at `index` has a new name (TTopicNode::Name).
    virtual void TopicRenamed(size_t index) = 0;
    // The topic at `index` has a new text.
    virtual void TopicTextChanged(size_t index) = 0;
    // A command's change went into the history as one entry that Undo takes
    // back; `what` says what it was (Windows-1251). Not told while undoing
    // or redoing.
    virtual void ChangeRecorded(const std::string& what) { (void)what; }
};

// What appending a list of topic names did.
struct TListAppend {
    // The lines whose names have characters Windows-1251 lacks; when there
    // are any, nothing was appended.
    std::vector<TRefusedName> refused;
    // Topics appended, one per line from the first that is not empty.
    size_t appended = 0;
    // Empty lines, which name no topic and were skipped.
    size_t skipped = 0;
    // Why the topic of line `appended` + `skipped` + 1 could not be
    // appended; "" when every line was. The lines after it were not tried.
    std::string failure;
    // The file offset of the NUL byte the list ends at (npos: none).
    size_t cutAt = std::string::npos;
};

class TTopicCommands {
public:
    explicit TTopicCommands(TProject& project, ITopicListView* view = nullptr);
    TTopicCommands(const TTopicCommands&) = delete;
    TTopicCommands& operator=(const TTopicCommands&) = delete;

    TProject& Project() const { return project_; }
    // The view told of every change (none: nobody is told).
    void SetView(ITopicListView* view) { view_ = view; }

    // Appends a topic named `name` (Windows-1251; stored cut to 50 bytes) and
    // returns its index.
    size_t Append(const std::string& name);
    // Deletes the topic at `index`. When the file then fails, the topic has
    // left the list all the same (and comes back when the project is opened
    // again); the view is told, then the failure raised.
    void Delete(size_t index);
    // Moves the topic at `from` to `to` (positions before the move).
    void Move(size_t from, size_t to);
    // Renames the topic at `index` (Windows-1251; stored cut to 50 bytes).
    void Rename(size_t index, const std::string& name);
    // Replaces the topic's text.
    void SetText(size_t index, const std::string& text);

    // Appends one topic per line of the list file at `path`, read as text
    // (UTF-8, UTF-16 or the detected Cyrillic code page; the line rules of
    // SplitLines); an empty line is skipped. A name Windows-1251 can't hold
    // refuses the whole list. The
    // first line whose topic can't be appended stops the list there: the
    // topics before it stay. Raises volm::Error only when the file can't be
    // read (nothing is appended then).
    TListAppend AppendList(const std::string& path);

    // Appends the text file at `path` as a topic named `name`, its text read
    // as the editor's load reads it (code-page detection when `detect`, see
    // LoadedText). The file is read first: when it can't be, nothing is
    // appended. Returns the topic's index; `found` gets what detection found.
    size_t AppendTextFile(const std::string& name, const std::string& path, bool detect,
                          TDetection* found = nullptr);

    // Appends a book's topics, each with its text, all or none (see
    // AppendBookTopics); returns their indexes. The view hears of them once
    // they are all in.
    std::vector<size_t> AppendBook(const std::vector<TBookTopic>& topics);

    // The changes made, for undo and redo.
    const TTopicHistory& History() const { return history_; }
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    // Takes back the last change (a deleted topic comes back with its name,
    // text and place, under a new storage number) and returns what it was
    // (Windows-1251). A failure raises after forgetting the history, as the
    // list may then stand between the two states.
    std::string Undo();
    // Makes the last undone change again; as Undo.
    std::string Redo();
    // Forgets every change (the project was opened again, or packed).
    void ForgetHistory() { history_.Clear(); }

private:
    class TGroup;
    void record(const TTopicStep& step, const std::string& what);
    // Puts a whole change into the history and tells the view.
    void recordChange(TTopicChange change);
    void apply(const TTopicStep& step);
    std::string replay(bool undo);

    TProject& project_;
    ITopicListView* view_ = nullptr;
    TTopicHistory history_;
    // The change that the running command collects its steps into (null:
    // each step is a change of its own).
    TTopicChange* group_ = nullptr;
    // True while undoing or redoing: nothing is recorded.
    bool replaying_ = false;
};

} // namespace volm
