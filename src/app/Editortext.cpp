#include "app/Editortext.h"

#include "app/Ansitext.h"
#include "app/Errorbox.h"
#include "common/Fileio.h"
#include "text/Detect.h"
#include "text/Textlines.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <vector>

namespace volm::ui {

TEditorText::TEditorText(QPlainTextEdit* editor, TTopicCommands& commands, QWidget* parent)
    : QObject(parent), editor_(editor), commands_(commands), parent_(parent)
{
    connect(editor_->document(), &QTextDocument::modificationChanged, this,
            [this] { emit modifiedChanged(Modified()); });
}

std::optional<size_t> TEditorText::TopicIndex() const
{
    const TProject& project = commands_.Project();
    if (!topic_ || !project.IsOpen())
        return std::nullopt;
    for (size_t i = 0; i < project.TopicCount(); ++i)
        if (project.Topic(i).Item.get() == topic_)
            return i;
    return std::nullopt;
}

void TEditorText::Show(std::optional<size_t> index)
{
    const TProject& project = commands_.Project();
    QString text;
    const TJSDataItem* topic = nullptr;
    if (index && project.IsOpen() && *index < project.TopicCount()) {
        try {
            text = ansiToText(project.GetText(*index));
            topic = project.Topic(*index).Item.get();
        } catch (const std::exception& e) {
            ShowException(e, parent_);
            text.clear();
        }
    }
    // One update: the old text is replaced as a whole.
    topic_ = topic;
    editor_->setPlainText(text);
    editor_->setReadOnly(topic_ == nullptr);
    editor_->document()->setModified(false);
    emit modifiedChanged(Modified());
}

bool TEditorText::Modified() const
{
    return topic_ && editor_->document()->isModified();
}

std::string TEditorText::Text(TAnsiCount* replaced) const
{
    // Typed text gets what a loaded text gets: the nearest text for a
    // character Windows-1251 lacks.
    TAnsiWriter writer(TAnsiFallback::Nearest);
    std::vector<std::string> lines;
    for (QTextBlock b = editor_->document()->begin(); b.isValid(); b = b.next()) {
        const QStringList parts = b.text().split(QChar::LineSeparator);
        for (const QString& part : parts)
            lines.push_back(textToAnsi(part, writer));
    }
    if (replaced)
        *replaced = writer.count;
    return JoinLines(lines);
}

bool TEditorText::Commit()
{
    const std::optional<size_t> index = TopicIndex();
    if (!index)
        return true;
    TAnsiCount replaced;
    const std::string text = Text(&replaced);
    committing_ = true;
    try {
        commands_.SetText(*index, text);
    } catch (const std::exception& e) {
        committing_ = false;
        ShowException(e, parent_);
        return false;
    }
    committing_ = false;
    editor_->document()->setModified(false);
    if (replaced.Any())
        emit remark(QString::fromStdString(ReplacementNote(replaced)) + u'.');
    return true;
}

bool TEditorText::Settle()
{
    if (!Modified())
        return true;
    const std::optional<size_t> index = TopicIndex();
    const QString name = index ? ansiToText(commands_.Project().Topic(*index).Name) : QString();
    switch (AskAboutEdits(QStringLiteral("The text of topic \"%1\" was changed and not committed.\n"
                                         "Commit the changes?")
                              .arg(name),
                          parent_)) {
    case TEditsAnswer::Commit:
        return Commit();
    case TEditsAnswer::Discard:
        Show(index); // the stored text again
        return true;
    case TEditsAnswer::Cancel:
        break;
    }
    return false;
}

QString TEditorText::FileText(const QString& path, bool detect, std::string* note)
{
    const std::string bytes = ReadWholeFile(QFile::encodeName(path).toStdString(), kMaxTextFileSize);
    const TLoadedText loaded = LoadTextFile(bytes, detect);
    if (note)
        *note = loaded.Note();
    const std::vector<std::string> paragraphs = SplitParagraphs(loaded.text);
    QString shown;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            shown += u'\n';
        shown += ansiToText(paragraphs[i]);
    }
    return shown;
}

void TEditorText::Load(const QString& path, bool detect)
{
    QString shown;
    std::string note;
    try {
        shown = FileText(path, detect, &note);
    } catch (const std::exception& e) {
        ShowException(e, parent_);
        return;
    }
    editor_->setPlainText(shown);
    // Not stored until the commit below succeeds.
    editor_->document()->setModified(true);
    Commit();
    // Characters Windows-1251 lacks, and a text cut at its first NUL byte:
    // the user is told so.
    if (!note.empty())
        emit remark(QString::fromStdString(note));
}

void TEditorText::TopicDeleted()
{
    if (topic_ && !TopicIndex())
        Show(std::nullopt);
}

void TEditorText::TopicTextChanged(size_t index)
{
    if (!committing_ && !Modified() && TopicIndex() == index)
        Show(index);
}

} // namespace volm::ui
