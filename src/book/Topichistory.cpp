#include "book/Topichistory.h"

namespace volm {

TTopicStep TTopicStep::Inverse() const
{
    TTopicStep back = *this;
    switch (kind) {
    case skInsert:
        back.kind = skRemove;
        break;
    case skRemove:
        back.kind = skInsert;
        break;
    case skMove:
        back.index = to;
        back.to = index;
        break;
    case skRename:
        back.name = oldText;
        back.oldText = name;
        break;
    case skText:
        back.text = oldText;
        back.oldText = text;
        break;
    }
    return back;
}

void TTopicHistory::Record(TTopicChange change)
{
    if (change.steps.empty())
        return;
    undo_.push_back(std::move(change));
    redo_.clear();
}

void TTopicHistory::Clear()
{
    undo_.clear();
    redo_.clear();
}

TTopicChange TTopicHistory::TakeUndo()
{
    TTopicChange c = std::move(undo_.back());
    undo_.pop_back();
    return c;
}

TTopicChange TTopicHistory::TakeRedo()
{
    TTopicChange c = std::move(redo_.back());
    redo_.pop_back();
    return c;
}

} // namespace volm
