// The window from the keyboard alone: tabbing through the controls, Enter and Delete on the
// history list, the grid's arrow keys and the copy key.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <cstdlib>

#include "app/MainWindow.h"
#include "app/WindowFakes.h"
#include "support/Addresses.h"
#include "support/TempSettings.h"
#include "view/TraceText.h"

namespace hoplark {
namespace {

class WindowKeysTest : public ::testing::Test {
protected:
    WindowKeysTest() : form(settings.path(), fakes.services()) {
        fakes.names->reverse[Ip("127.0.0.3")] = "target.hoplark.test";
        form.move(0, 0);
        form.resize(form.designSize());
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    void key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(widget, key, modifiers);
    }
    QStringList history() const {
        QStringList items;
        for (int i = 0; i < form.lbHistory->count(); ++i)
            items << form.lbHistory->item(i)->text();
        return items;
    }

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form;
};

TEST_F(WindowKeysTest, TabVisitsEveryControlInOrder) {
    form.miShowHistorySlider->trigger();
    form.editSampleCount->setText(QStringLiteral("5"));
    form.pnlTimePeriod->show();
    form.editDestination->setFocus();
    // Top to bottom down the left pane, then the grid and the slider under it.
    const QWidget* expected[] = {form.lbHistory,       form.editTraceCount, form.editDelay,
                                 form.editSampleCount, form.btnTrace,       form.drgrTrace,
                                 form.tbTime,          form.editDestination};
    const QWidget* previous = form.editDestination;
    for (const QWidget* next : expected) {
        key(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), next)
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                            : "nothing");
        // Within the left pane every step goes down the screen.
        if (form.pnlLeft->isAncestorOf(next) && form.pnlLeft->isAncestorOf(previous)) {
            EXPECT_GT(next->mapTo(&form, QPoint(0, 0)).y(),
                      previous->mapTo(&form, QPoint(0, 0)).y());
        }
        previous = next;
    }
}

// Reached by Tab, the Trace button is framed in the highlight colour on all four sides; without
// the focus it is not.
TEST_F(WindowKeysTest, TheFocusedTraceButtonIsFramedPlainly) {
    // How many of the four sides show the highlight colour within a few pixels of the edge,
    // halfway along.
    const auto framedSides = [this] {
        const QImage image = form.btnTrace->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QColor highlight = form.btnTrace->palette().color(QPalette::Highlight);
        const auto near = [&](int x, int y) {
            const QRgb pixel = image.pixel(x, y);
            return std::abs(qRed(pixel) - highlight.red()) < 40 &&
                   std::abs(qGreen(pixel) - highlight.green()) < 40 &&
                   std::abs(qBlue(pixel) - highlight.blue()) < 40;
        };
        const int w = image.width(), h = image.height();
        bool top = false, bottom = false, left = false, right = false;
        for (int in = 0; in < 8 * image.devicePixelRatio(); ++in) {
            top = top || near(w / 2, in);
            bottom = bottom || near(w / 2, h - 1 - in);
            left = left || near(in, h / 2);
            right = right || near(w - 1 - in, h / 2);
        }
        return int(top) + int(bottom) + int(left) + int(right);
    };
    form.editSampleCount->setFocus();
    EXPECT_EQ(framedSides(), 0);
    key(form.editSampleCount, Qt::Key_Tab);
    ASSERT_TRUE(form.btnTrace->hasFocus());
    EXPECT_EQ(framedSides(), 4);
}

TEST_F(WindowKeysTest, EnterOnAHistoryRowTracesThatRowAndDeleteRemovesIt) {
    form.lbHistory->addItems(
        {QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4")});
    form.editDestination->setText(QStringLiteral("typed.example"));
    form.lbHistory->setFocus();
    form.lbHistory->setCurrentRow(0);
    key(form.lbHistory, Qt::Key_Down);
    key(form.lbHistory, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    EXPECT_EQ(form.editDestination->text(), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(history().first(), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(fakes.launcher->launched.size(), 35u);
    form.btnTraceClick();  // stop

    // Delete removes the selected row, and only it.
    form.lbHistory->setFocus();
    form.lbHistory->setCurrentRow(2);
    key(form.lbHistory, Qt::Key_Delete);
    EXPECT_EQ(history(), QStringList({"127.0.0.3", "127.0.0.9"}));

    // Without a selected row Enter is the window's: it traces the field's text.
    form.lbHistory->clearSelection();
    form.editDestination->setText(QStringLiteral("127.0.0.4"));
    form.lbHistory->setFocus();
    key(form.lbHistory, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("127.0.0.4"));
}

TEST_F(WindowKeysTest, GridMovesItsCurrentRowWithTheArrowsAndCopiesAsText) {
    form.editDestination->setText(QStringLiteral("127.0.0.3"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    const TraceId trace = form.session().currentTrace();
    for (int hop = 1; hop <= 20; ++hop)
        fakes.launcher->postResult(trace, hop, QStringLiteral("10.0.%1.1").arg(hop), hop);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(form.drgrTrace->rowCount(), 21);

    form.drgrTrace->setFocus();
    EXPECT_EQ(form.drgrTrace->currentRow(), 1);
    key(form.drgrTrace, Qt::Key_Down);
    key(form.drgrTrace, Qt::Key_Down);
    EXPECT_EQ(form.drgrTrace->currentRow(), 3);
    key(form.drgrTrace, Qt::Key_Up);
    EXPECT_EQ(form.drgrTrace->currentRow(), 2);
    key(form.drgrTrace, Qt::Key_Up);
    key(form.drgrTrace, Qt::Key_Up);
    EXPECT_EQ(form.drgrTrace->currentRow(), 1);  // stops at the first hop
    // End goes to the last hop and scrolls it into view.
    key(form.drgrTrace, Qt::Key_End);
    EXPECT_EQ(form.drgrTrace->currentRow(), 20);
    EXPECT_GT(form.drgrTrace->topRow(), 1);
    key(form.drgrTrace, Qt::Key_Home);
    EXPECT_EQ(form.drgrTrace->currentRow(), 1);
    EXPECT_EQ(form.drgrTrace->topRow(), 1);

    // The focus frame shows: the focused grid paints differently from the unfocused one.
    const QImage focused = form.drgrTrace->viewport()->grab().toImage();
    form.editTraceCount->setFocus();
    const QImage unfocused = form.drgrTrace->viewport()->grab().toImage();
    EXPECT_NE(focused, unfocused);

    QGuiApplication::clipboard()->clear();
    form.drgrTrace->setFocus();
    key(form.drgrTrace, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(
        QGuiApplication::clipboard()->text(),
        BuildTraceText(form.traceState(), form.lblHostName->text(), form.lblTargetAddress->text()));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("10.0.20.1")));
}

// What Copy as Image puts on the clipboard is the pane as it would look with nothing focused,
// whichever of its controls has the focus, which stays where it was.
TEST_F(WindowKeysTest, CopyAsImageShowsNoFocusFrame) {
    form.miShowHistorySlider->trigger();
    form.pnlTimePeriod->show();
    form.editDestination->setText(QStringLiteral("127.0.0.3"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    const TraceId trace = form.session().currentTrace();
    for (int hop = 1; hop <= 3; ++hop)
        fakes.launcher->postResult(trace, hop, QStringLiteral("10.0.%1.1").arg(hop), hop);
    QCoreApplication::sendPostedEvents();
    form.btnTraceClick();  // stop, so that nothing changes between the pictures

    const auto copied = [this] {
        QGuiApplication::clipboard()->clear();
        form.Copy1->trigger();
        return QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    };
    form.editTraceCount->setFocus();
    const QImage plain = copied();
    ASSERT_FALSE(plain.isNull());
    for (QWidget* focus :
         {static_cast<QWidget*>(form.drgrTrace), static_cast<QWidget*>(form.tbTime)}) {
        SCOPED_TRACE(focus->metaObject()->className());
        focus->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(focus->hasFocus());
        EXPECT_EQ(copied(), plain);
        EXPECT_TRUE(focus->hasFocus());
    }
    // On screen the focused grid still shows its frame.
    form.drgrTrace->setFocus();
    const QImage framed = form.drgrTrace->viewport()->grab().toImage();
    form.editTraceCount->setFocus();
    EXPECT_NE(form.drgrTrace->viewport()->grab().toImage(), framed);
}

}  // namespace
}  // namespace hoplark
