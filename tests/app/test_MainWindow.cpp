#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/WindowFakes.h"
#include "support/TempSettings.h"
#include "view/TraceText.h"

namespace hoplark {
namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : form(settings.path(), fakes.services()) {}

    void showAtDesignSize() {
        form.move(0, 0);
        form.resize(form.designSize());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    int columnTotal() const {
        int total = 0;
        for (int w : form.drgrTrace->colWidths())
            total += w;
        return total;
    }

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form;
    const QStringList& errors = fakes.boxes->errors;
};

TEST_F(MainWindowTest, LayoutKeepsTheLeftPaneAndFitsTheRest) {
    showAtDesignSize();
    EXPECT_EQ(form.minimumSize(), QSize(500, 300));
    EXPECT_EQ(form.pnlRight->size(), QSize(520, 329));
    EXPECT_EQ(form.editDestination->width(), 176);
    EXPECT_EQ(form.StatusBar->height(), 19);
    EXPECT_EQ(columnTotal(), form.drgrTrace->clientWidth());
    EXPECT_EQ(form.focusWidget(), form.editDestination);  // ready to type a destination

    form.resize(900, 500);
    QTest::qWait(20);
    EXPECT_EQ(form.pnlLeft->width(), 184);
    EXPECT_EQ(form.pnlRight->width(), 900 - 184);
    EXPECT_EQ(columnTotal(), form.drgrTrace->clientWidth());
}

TEST_F(MainWindowTest, GroupBoxCaptionsSitOnTheFrameAroundTheirControls) {
    showAtDesignSize();
    for (TGroupBox* box : {form.GroupBox1, form.GroupBox2}) {
        const QRect frame = box->frameRect();
        const QRect caption = box->captionRect();
        EXPECT_GT(frame.top(), caption.top());
        EXPECT_LT(frame.top(), caption.bottom());
        for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(frame.contains(child->geometry()))
                << child->metaObject()->className() << " of " << box->title().toStdString();
        }
        // The top line is drawn where the frame starts, and interrupted by the caption.
        const QImage image = box->grab().toImage();
        const QRgb window = box->palette().color(QPalette::Window).rgb();
        EXPECT_NE(image.pixel(2, frame.top()), window);
        EXPECT_EQ(image.pixel(2, frame.top() + 4), window);
        EXPECT_EQ(image.pixel(caption.right() + 4, frame.top()), image.pixel(2, frame.top()));
    }
}

TEST_F(MainWindowTest, HistoryRowsAreFourteenPixelsHigh) {
    form.lbHistory->addItems({QStringLiteral("alpha"), QStringLiteral("beta")});
    showAtDesignSize();
    const QRect first = form.lbHistory->visualItemRect(form.lbHistory->item(0));
    const QRect second = form.lbHistory->visualItemRect(form.lbHistory->item(1));
    EXPECT_EQ(first.height(), 14);
    EXPECT_EQ(second.top() - first.top(), 14);
}

TEST_F(MainWindowTest, ABurstOfRefreshRequestsPaintsOnce) {
    showAtDesignSize();
    PaintCounter counter;
    form.drgrTrace->viewport()->installEventFilter(&counter);
    QTest::qWait(30);
    counter.paints = 0;
    form.editDestination->setText(QStringLiteral("127.0.0.10"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    // However late a busy machine paints, then a moment for any second paint to show.
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }));
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 1);

    // Ten results already queued are all merged before the single repaint.
    counter.paints = 0;
    const TraceId trace = form.session().currentTrace();
    for (int hop = 1; hop <= 10; ++hop)
        fakes.launcher->postResult(trace, hop, QStringLiteral("127.0.0.%1").arg(hop), hop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }));
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(form.traceState().HopList.count(), 10);

    // Requests that change nothing the grid shows paint nothing.
    counter.paints = 0;
    for (int i = 0; i < 10; ++i) {
        QMetaObject::invokeMethod(
            &form, [this] { form.ScheduleRefresh(); }, Qt::QueuedConnection);
    }
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 0);
}

TEST_F(MainWindowTest, DelayLadderAndRoundCountFields) {
    struct Case {
        QString start;
        TUpDown::Button button;
        QString expected;
    };
    for (const Case& c : {Case{"15 Seconds", TUpDown::Button::Up, "30 Seconds"},
                          Case{"12 Seconds", TUpDown::Button::Down, "15 Seconds"},
                          Case{"1 Second", TUpDown::Button::Down, "1 Second"}}) {
        form.editDelay->setText(c.start);
        form.UpDown3->press(c.button);
        EXPECT_EQ(form.editDelay->text(), c.expected) << c.start.toStdString();
    }

    form.editDelay->setText(QStringLiteral("1.5 Hours"));
    form.editDelayChange();
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("90 Minutes"));
    EXPECT_EQ(form.GetDelayMs(), 5400000);

    form.editDelay->setText(QStringLiteral("abc Seconds"));
    form.UpDown3->press(TUpDown::Button::Up);
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("abc Seconds"));
    EXPECT_EQ(errors, QStringList{QStringLiteral("'abc ' is not a valid floating point value.")});

    form.udTraceCount->press(TUpDown::Button::Up);
    EXPECT_EQ(form.editTraceCount->text(), QStringLiteral("1"));
    form.udTraceCount->press(TUpDown::Button::Down);
    EXPECT_EQ(form.editTraceCount->text(), QStringLiteral("Unlimited"));
    form.editTraceCount->setText(QStringLiteral("00"));
    EXPECT_EQ(form.editTraceCount->text(), QStringLiteral("00"));
}

TEST_F(MainWindowTest, DelayTextIsNormalisedOnlyWhenTheFocusMovesToAnotherControl) {
    const auto leaveDelayField = [this](Qt::FocusReason reason) {
        QFocusEvent focusOut(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(form.editDelay, &focusOut);
    };

    // Switching to another window or opening a menu is not leaving the field.
    form.editDelay->setText(QStringLiteral("5"));
    leaveDelayField(Qt::ActiveWindowFocusReason);
    leaveDelayField(Qt::PopupFocusReason);
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("5"));
    form.editDelay->setText(QStringLiteral("abc"));
    leaveDelayField(Qt::ActiveWindowFocusReason);
    EXPECT_TRUE(errors.isEmpty());

    form.editDelay->setText(QStringLiteral("5"));
    leaveDelayField(Qt::TabFocusReason);
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("5 Seconds"));
    form.editDelay->setText(QStringLiteral("abc"));
    leaveDelayField(Qt::MouseFocusReason);
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("abc"));
    EXPECT_EQ(errors, QStringList{QStringLiteral("'abc' is not a valid floating point value.")});
}

TEST_F(MainWindowTest, OptionsThresholdsFollowTheIntegerTextRule) {
    struct Case {
        QString warning, bad;
        qint32 expectedWarning, expectedBad;
    };
    const Case cases[] = {
        {"abc", "800", 200, 800},  {" 150", "500", 150, 500}, {"150 ", "500", 200, 500},
        {"$96", "$1F4", 150, 500}, {"", "-5", 200, -5},
    };
    for (const Case& c : cases) {
        form.displayOptionsForUpdate().WarningSpeed = 200;
        form.displayOptionsForUpdate().BadSpeed = 500;
        form.setDialogRunner([&](QDialog& dialog) {
            auto& options = static_cast<TformOptions&>(dialog);
            EXPECT_EQ(options.editWarningSpeed->text(), QStringLiteral("200"));
            options.editWarningSpeed->setText(c.warning);
            options.editBadSpeed->setText(c.bad);
            return int(QDialog::Accepted);
        });
        form.Options1Click();
        EXPECT_EQ(form.displayOptions().WarningSpeed, c.expectedWarning) << c.warning.toStdString();
        EXPECT_EQ(form.displayOptions().BadSpeed, c.expectedBad) << c.bad.toStdString();
    }
}

TEST_F(MainWindowTest, OptionsApplyFlagsColumnsAndLegendOnlyOnOk) {
    showAtDesignSize();
    const auto answer = [this](std::function<void(TformOptions&)> edit, int result) {
        form.setDialogRunner([edit, result](QDialog& dialog) {
            edit(static_cast<TformOptions&>(dialog));
            return result;
        });
        form.Options1Click();
    };

    // Cancel changes nothing.
    answer(
        [](TformOptions& o) {
            o.cbColorHops->setChecked(false);
            o.cbShowCurrentTime->setChecked(true);
        },
        QDialog::Rejected);
    EXPECT_TRUE(form.displayOptions().ColorHops);
    EXPECT_EQ(form.drgrTrace->colWidth(4), 55);

    // The current-time column widens to 80 and the columns are fitted again.
    answer(
        [](TformOptions& o) {
            o.cbShowCurrentTime->setChecked(true);
            o.cbIgnoreFirstHop->setChecked(true);
            o.cboxShowCheck->setChecked(false);
        },
        QDialog::Accepted);
    EXPECT_EQ(form.drgrTrace->colWidth(4), 80);
    EXPECT_EQ(columnTotal(), form.drgrTrace->clientWidth());
    EXPECT_TRUE(form.IgnoreFirstHop);
    EXPECT_FALSE(form.displayOptions().GraphCurrentSample);

    // Before any round the legend stays hidden.
    answer([](TformOptions&) {}, QDialog::Accepted);
    EXPECT_FALSE(form.lblNormal->isVisible());

    form.editDestination->setText(QStringLiteral("127.0.0.9"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.traceState().SamplesTaken == 1; }));
    answer([](TformOptions& o) { o.editWarningSpeed->setText(QStringLiteral("100")); },
           QDialog::Accepted);
    EXPECT_TRUE(form.lblNormal->isVisible());
    EXPECT_EQ(form.lblNormal->text(), QStringLiteral("0-100"));
    EXPECT_EQ(form.lblWarning->text(), QStringLiteral("101-500"));
    EXPECT_EQ(form.lblBad->text(), QStringLiteral("501 and up"));

    answer(
        [](TformOptions& o) {
            o.cbColorHops->setChecked(false);
            o.cbColorGraph->setChecked(false);
        },
        QDialog::Accepted);
    EXPECT_FALSE(form.lblBad->isVisible());
}

TEST_F(MainWindowTest, OptionsDialogLayout) {
    TformOptions dialog;
    // Taller than the original layout, for the fractions and loss verdict boxes below the others
    // and the address family group below the frame.
    EXPECT_EQ(dialog.size(), QSize(303, 361));
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    EXPECT_EQ(dialog.OKBtn->geometry(), QRect(79, 330, 75, 25));
    EXPECT_EQ(dialog.cbIgnoreFirstHop->geometry(), QRect(24, 182, 257, 17));
    EXPECT_EQ(dialog.cbShowFractions->geometry(), QRect(24, 206, 257, 17));
    EXPECT_EQ(dialog.cbShowFractions->text(), QStringLiteral("Show times to 0.01 ms"));
    EXPECT_FALSE(dialog.cbShowFractions->isChecked());
    EXPECT_EQ(dialog.cbIgnoreFirstHop->nextInFocusChain(), dialog.cbShowCurrentTime);
    EXPECT_EQ(dialog.cbShowCurrentTime->nextInFocusChain(), dialog.cbShowFractions);
    EXPECT_EQ(dialog.cbShowFractions->nextInFocusChain(), dialog.cbLossVerdicts);
    EXPECT_EQ(dialog.cbLossVerdicts->geometry(), QRect(24, 230, 257, 17));
    EXPECT_FALSE(dialog.cbLossVerdicts->isChecked());
    EXPECT_TRUE(dialog.rbAddressAuto->isChecked());
    // The three choices exclude one another and lie inside the dialog.
    dialog.rbAddressIPv6->setChecked(true);
    EXPECT_FALSE(dialog.rbAddressAuto->isChecked());
    for (QRadioButton* button : {dialog.rbAddressAuto, dialog.rbAddressIPv4, dialog.rbAddressIPv6})
        EXPECT_TRUE(dialog.rect().contains(button->mapTo(&dialog, button->rect().bottomRight())));
}

TEST_F(MainWindowTest, AddressFamilyChoiceReachesTheSessionAndTheSettingsFile) {
    EXPECT_EQ(form.session().addressChoice(), AddressChoice::ResolverOrder);
    form.setDialogRunner([](QDialog& dialog) {
        static_cast<TformOptions&>(dialog).rbAddressIPv6->setChecked(true);
        return int(QDialog::Accepted);
    });
    form.Options1Click();
    EXPECT_EQ(form.session().addressChoice(), AddressChoice::V6Only);
    form.FormDestroy();
    EXPECT_TRUE(settings.read().contains(QStringLiteral("AddressFamily=ipv6")))
        << settings.read().toStdString();
}

TEST_F(MainWindowTest, FractionsWidenTheAverageColumnAndTheCopiedText) {
    showAtDesignSize();
    const auto answer = [this](bool fractions, bool current) {
        form.setDialogRunner([this, fractions, current](QDialog& dialog) {
            auto& options = static_cast<TformOptions&>(dialog);
            // The box opens with the setting in force.
            EXPECT_EQ(options.cbShowFractions->isChecked(), form.displayOptions().ShowFractions);
            options.cbShowFractions->setChecked(fractions);
            options.cbShowCurrentTime->setChecked(current);
            return int(QDialog::Accepted);
        });
        form.Options1Click();
    };
    answer(true, false);
    EXPECT_TRUE(form.displayOptions().ShowFractions);
    const int extra = form.drgrTrace->colWidth(4) - 55;
    EXPECT_GT(extra, 0);
    EXPECT_EQ(columnTotal(), form.drgrTrace->clientWidth());
    // The average and the current sample each grow by the same fraction width.
    answer(true, true);
    EXPECT_EQ(form.drgrTrace->colWidth(4), 80 + 2 * extra);
    answer(false, true);
    EXPECT_EQ(form.drgrTrace->colWidth(4), 80);
    EXPECT_EQ(columnTotal(), form.drgrTrace->clientWidth());

    form.editDestination->setText(QStringLiteral("127.0.0.9"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    const TraceId trace = form.session().currentTrace();
    fakes.launcher->postResult(trace, 1, QStringLiteral("127.0.0.1"), 7);
    QCoreApplication::sendPostedEvents();
    answer(true, false);
    form.CopyasText1Click();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(
        QStringLiteral(" 1    7.00 ms   [127.0.0.1]\r\n")))
        << QGuiApplication::clipboard()->text().toStdString();
}

TEST_F(MainWindowTest, CopyAsTextPutsTheTraceOnTheClipboard) {
    form.CopyasText1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Target Name: N/A\r\n         IP: N/A\r\n\r\n"));

    form.editDestination->setText(QStringLiteral("127.0.0.9"));
    form.btnTraceClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.session().isTracing(); }));
    const TraceId trace = form.session().currentTrace();
    fakes.launcher->postResult(trace, 1, QStringLiteral("127.0.0.1"), 7);
    fakes.launcher->postName(trace, 1, QStringLiteral("127.0.0.1"), NO_NAME);
    QCoreApplication::sendPostedEvents();
    form.CopyasText1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              BuildTraceText(form.traceState(), QString(), QStringLiteral("127.0.0.9")));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(
        QStringLiteral(" 1    7 ms  [127.0.0.1]\r\n")));
}

TEST_F(MainWindowTest, CopyAsImageCapturesThePaneOnePixelLarger) {
    showAtDesignSize();
    const QImage image = form.paneImage();
    EXPECT_EQ(image.size(), QSize(521, 330));
    const QImage pane = form.pnlRight->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(pane.size(), QSize(520, 329));
    int differing = 0;
    for (int y = 0; y < pane.height(); ++y) {
        for (int x = 0; x < pane.width(); ++x)
            differing += image.pixel(x, y) != pane.pixel(x, y);
    }
    EXPECT_EQ(differing, 0);

    form.Copy1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(521, 330));
}

TEST_F(MainWindowTest, HelpOpensContextsAndAnEmptySearch) {
    form.helpWindow()->showContext(TformMain::HelpContext);
    EXPECT_EQ(form.helpWindow()->currentTopic(), QStringLiteral("main-window.html"));
    form.helpWindow()->showContext(TformOptions::HelpContext);
    EXPECT_EQ(form.helpWindow()->currentTopic(), QStringLiteral("options.html"));
    form.HelpSearch();
    EXPECT_TRUE(form.helpWindow()->searchText().isEmpty());
    EXPECT_TRUE(form.helpWindow()
                    ->search(QStringLiteral("ping_group_range"))
                    .contains(QStringLiteral("Allowing ICMP without root")));
    EXPECT_TRUE(form.helpWindow()->search(QStringLiteral("setcap")).size() >= 1);
}

}  // namespace
}  // namespace hoplark
