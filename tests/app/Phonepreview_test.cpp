// The phone's page beside the editor: it shows the page that holds the
// cursor, follows typed text without a build or a commit, pages with its
// buttons, and keeps its screen size and whether it is shown.
#include "app/Child.h"
#include "app/Editortext.h"
#include "app/Main.h"
#include "app/Phonepreview.h"

#include "Testutil.h"
#include "app/Guitest.h"
#include "book/Bookpreview.h"
#include "book/Fontimage.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

namespace {

QString lines(int from, int to)
{
    QStringList out;
    for (int i = from; i < to; ++i)
        out << QStringLiteral("Line %1 of the topic, long enough to wrap on a small screen.").arg(i);
    return out.join(u'\n');
}

struct Window {
    explicit Window(const std::string& path)
        : frame([](TForm1* f) -> TProjectWindow* { return new TForm2(f); })
    {
        frame.show();
        frame.OpenOrCreateProject(QString::fromStdString(path));
        w = static_cast<TForm2*>(frame.projectWindows().at(0));
    }
    TForm1 frame;
    TForm2* w = nullptr;
};

} // namespace

TEST(Phonepreview, ShowsTheCursorsPageAndFollowsTyping)
{
    TempDir dir;
    Messages messages;
    Questions questions;
    questions.answers = {kDiscard};
    const std::string path = (dir / "p.volm").string();
    Window win(path);
    TForm2* w = win.w;
    TPhonePreview* pane = w->PreviewPane;
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(pane->isHidden());
    pane->Refresh();
    EXPECT_EQ(pane->ScreenLabel->text(), QStringLiteral("No topic selected"));

    w->Edit1->setText(QStringLiteral("Notes"));
    w->BitBtn1->click();
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    ASSERT_EQ(w->EditorText().TopicIndex(), std::optional<size_t>(0));
    pane->SizeBox->setCurrentIndex(pane->SizeBox->findData(QStringLiteral("128x160")));
    w->RxRichEdit1->setPlainText(lines(0, 40));
    w->EditorText().Commit();
    pane->Refresh();
    ASSERT_GT(pane->Pages(), 3);
    EXPECT_EQ(pane->Screen().size(), QSize(128, 160));
    EXPECT_EQ(pane->PageLabel->text(), QStringLiteral("Page 1 of %1").arg(pane->Pages()));

    // The same page the build's reader shows: the engine over the stored project.
    TBookPreview book(w->Project(), path, RenderFontSheet, FontImagePng);
    const std::string phone = book.PhoneText(w->Project().GetText(0));
    const size_t font = book.DefaultFont(128);
    const TReaderPage page = book.Page(0, phone, font, 128, 160);
    const std::vector<int> starts = page.PageStarts();
    ASSERT_EQ(static_cast<int>(starts.size()), pane->Pages());
    auto drawn = [&](size_t k) {
        const std::vector<uint32_t> px = book.Pixels(page.Screen(starts[k]), font, false, 128, 160);
        QImage image(128, 160, QImage::Format_RGB32);
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 128; ++x)
                image.setPixel(x, y, 0xFF000000u | px[static_cast<size_t>(y) * 128 + static_cast<size_t>(x)]);
        return image;
    };
    EXPECT_EQ(pane->Screen(), drawn(0));

    // The cursor at the end: the last page; the buttons page from there.
    QTextCursor c = w->RxRichEdit1->textCursor();
    c.movePosition(QTextCursor::End);
    w->RxRichEdit1->setTextCursor(c);
    pane->Refresh();
    EXPECT_EQ(pane->Page(), pane->Pages());
    EXPECT_EQ(pane->Screen(), drawn(starts.size() - 1));
    EXPECT_FALSE(pane->PageDownButton->isEnabled());
    pane->PageUpButton->click();
    EXPECT_EQ(pane->Page(), pane->Pages() - 1);
    EXPECT_EQ(pane->Screen(), drawn(starts.size() - 2));
    pane->PageDownButton->click();
    EXPECT_EQ(pane->Page(), pane->Pages());
    // Moving the cursor brings its page back.
    c.movePosition(QTextCursor::Start);
    w->RxRichEdit1->setTextCursor(c);
    pane->Refresh();
    EXPECT_EQ(pane->Page(), 1);
    EXPECT_FALSE(pane->PageUpButton->isEnabled());

    // Typed text shows at once, nothing committed.
    const QImage before = pane->Screen();
    const int pagesBefore = pane->Pages();
    w->RxRichEdit1->insertPlainText(QStringLiteral("Typed first.\n") + lines(100, 130) + u'\n');
    pane->Refresh();
    EXPECT_NE(pane->Screen(), before);
    EXPECT_GT(pane->Pages(), pagesBefore);
    EXPECT_TRUE(w->EditorText().Modified());
    EXPECT_EQ(w->Project().GetText(0).substr(0, 6), "Line 0");
    // A letter no font had a glyph for is drawn once typed.
    w->RxRichEdit1->setPlainText(QStringLiteral("Ж"));
    pane->Refresh();
    const QImage cyrillic = pane->Screen();
    w->RxRichEdit1->setPlainText(QStringLiteral(" "));
    pane->Refresh();
    EXPECT_NE(pane->Screen(), cyrillic);
    // Keys typed into the editor: the pane draws again once the events are done.
    const QImage blank = pane->Screen();
    w->RxRichEdit1->setFocus();
    QTest::keyClicks(w->RxRichEdit1, QStringLiteral("Typed"));
    QApplication::processEvents();
    EXPECT_NE(pane->Screen(), blank);
    EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
}

TEST(Phonepreview, ShownFromTheViewMenuAndItsSizeKept)
{
    TempDir dir;
    Questions questions;
    {
        Window win((dir / "a.volm").string());
        TPhonePreview* pane = win.w->PreviewPane;
        // The sizes of the common canvases.
        for (const char* size : {"128x128", "128x160", "176x208", "176x220", "240x320", "320x240"})
            EXPECT_GE(pane->SizeBox->findData(QString::fromLatin1(size)), 0) << size;
        pane->SizeBox->setCurrentIndex(pane->SizeBox->findData(QStringLiteral("240x320")));
        // The View menu holds the active window's entry.
        QMenu* view = win.frame.ViewMenu;
        ASSERT_NE(view, nullptr);
        emit view->aboutToShow();
        ASSERT_EQ(view->actions().size(), 1);
        EXPECT_EQ(view->actions()[0], pane->PreviewAction);
        EXPECT_TRUE(pane->PreviewAction->isChecked());
        pane->PreviewAction->trigger();
        EXPECT_TRUE(pane->isHidden());
    }
    // A window opened later: hidden, at the size chosen last.
    Window win((dir / "b.volm").string());
    TPhonePreview* pane = win.w->PreviewPane;
    EXPECT_TRUE(pane->isHidden());
    EXPECT_FALSE(pane->PreviewAction->isChecked());
    EXPECT_EQ(pane->SizeBox->currentData().toString(), QStringLiteral("240x320"));
    pane->PreviewAction->trigger();
    EXPECT_FALSE(pane->isHidden());
}
