#include "app/Editortext.h"

#include "app/Ansitext.h"
#include "app/Errorbox.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "text/Bookimport.h"
#include "text/Detect.h"
#include "text/Textlines.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCursor>
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
    shown_ = text;
    editor_->setPlainText(text);
    editor_->setReadOnly(topic_ == nullptr || project.IsReadOnly()); // a read-only project is only viewed
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
        // The stored text again, as it was shown.
        editor_->setPlainText(shown_);
        editor_->document()->setModified(false);
        emit modifiedChanged(Modified());
        return true;
    case TEditsAnswer::Cancel:
        break;
    }
    return false;
}

namespace {

// What a file that is no text holds, as the user is told ("" for a text).
std::string binaryKind(std::string_view bytes)
{
    if (bytes.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8))
        return "a PNG image";
    if (bytes.substr(0, 4) == "PK\x03\x04" || bytes.substr(0, 4) == "PK\x05\x06")
        return "a ZIP archive";
    if (bytes.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return "a compound file (a project or an office document)";
    if (RecogniseBook(bytes, {}) == TBookFormat::None)
        return "binary data";
    return {};
}

TLoadedText readLoaded(const QString& path, bool detect)
{
    const std::string file = QFile::encodeName(path).toStdString();
    const std::string bytes = ReadWholeFile(file, kMaxTextFileSize);
    if (const std::string kind = binaryKind(bytes); !kind.empty())
        throw Error(file + ": not a text file (it holds " + kind + "); nothing was loaded");
    return LoadTextFile(bytes, detect);
}

QString shownText(const std::string& text)
{
    const std::vector<std::string> paragraphs = SplitParagraphs(text);
    QString shown;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            shown += u'\n';
        shown += ansiToText(paragraphs[i]);
    }
    return shown;
}

} // namespace

QString TEditorText::FileText(const QString& path, bool detect, std::string* note)
{
    const TLoadedText loaded = readLoaded(path, detect);
    if (note)
        *note = loaded.Note();
    return shownText(loaded.text);
}

void TEditorText::Load(const QString& path, bool detect)
{
    const std::optional<size_t> index = TopicIndex();
    if (!index)
        return;
    TLoadedText loaded;
    try {
        loaded = readLoaded(path, detect);
    } catch (const std::exception& e) {
        ShowException(e, parent_);
        return;
    }
    const bool intoEmpty = !Modified() && editor_->document()->isEmpty();
    // One step of the editor's own undo: Ctrl+Z there brings back what it held.
    QTextCursor all(editor_->document());
    all.beginEditBlock();
    all.select(QTextCursor::Document);
    all.insertText(shownText(loaded.text));
    all.endEditBlock();
    editor_->document()->setModified(true);
    const std::string note = loaded.Note();
    const QString found = QStringLiteral("%1; %2")
                              .arg(detect ? QString::fromStdString(loaded.found.Describe()) + QStringLiteral(" detected")
                                          : QStringLiteral("read as Windows-1251"),
                                   note.empty() ? QStringLiteral("no character Windows-1251 lacks")
                                                : QString::fromStdString(note));
    const QString file = QFileInfo(path).fileName();
    if (intoEmpty) {
        if (Commit())
            emit remark(QStringLiteral("%1 loaded into the topic (%2). Ctrl+Z undoes it.").arg(file, found));
        return;
    }
    emit remark(QStringLiteral("%1 loaded into the editor (%2): \"Commit\" (Ctrl+S) stores it; Ctrl+Z restores the old text.")
                    .arg(file, found));
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
