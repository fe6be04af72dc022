#include <gtest/gtest.h>

#include <QTest>

#include "app/MainWindow.h"
#include "app/SettingsFile.h"
#include "app/ViewMenu.h"
#include "app/WindowFakes.h"
#include "support/TempSettings.h"

namespace hoplark {
namespace {

class ViewMenuTest : public ::testing::Test {
protected:
    ViewMenuTest() : form(settings.path(), fakes.services()) {
        form.move(0, 0);
        form.resize(1000, form.designSize().height());
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    int cellsWidth() const { return form.drgrTrace->cellsWidth(); }

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form;
};

TEST_F(ViewMenuTest, PresetsAndItemsChooseTheColumnsWhichTheGridFitsIn) {
    ViewMenu& view = *form.View1;
    EXPECT_TRUE(view.noneAction()->isChecked());
    const ColumnWidthArray plain = form.drgrTrace->colWidths();

    view.likeMtrAction()->trigger();
    EXPECT_EQ(form.displayOptions().ShownStatistics, LikeMtrColumns());
    EXPECT_TRUE(view.columnAction(StatisticsColumn::StDev)->isChecked());
    EXPECT_FALSE(view.columnAction(StatisticsColumn::Jitter)->isChecked());
    EXPECT_FALSE(view.noneAction()->isChecked());
    EXPECT_EQ(form.drgrTrace->extraColCount(), 7);
    // The grid keeps its width: DNS Name and Graph make room.
    EXPECT_EQ(cellsWidth(), form.drgrTrace->clientWidth());

    view.columnAction(StatisticsColumn::Jitter)->trigger();
    EXPECT_EQ(form.displayOptions().ShownStatistics.back(), StatisticsColumn::Jitter);
    EXPECT_FALSE(view.likeMtrAction()->isChecked());
    EXPECT_EQ(cellsWidth(), form.drgrTrace->clientWidth());

    view.noneAction()->trigger();
    EXPECT_TRUE(form.displayOptions().ShownStatistics.empty());
    EXPECT_EQ(form.drgrTrace->colWidths(), plain);
}

TEST_F(ViewMenuTest, AWindowTooNarrowForTheColumnsWidensAsFarAsItsScreenAllows) {
    form.resize(form.designSize());
    QCoreApplication::processEvents();
    const int narrow = form.width();
    form.View1->likeMtrAction()->trigger();
    QCoreApplication::processEvents();
    EXPECT_GT(form.width(), narrow);
    EXPECT_LE(form.frameGeometry().right(), form.screen()->availableGeometry().right());
    EXPECT_GT(form.drgrTrace->colWidth(3), 0);
    EXPECT_EQ(cellsWidth(), form.drgrTrace->clientWidth());
}

TEST_F(ViewMenuTest, ChosenColumnsAreKeptInTheSettingsFile) {
    form.View1->likeMtrAction()->trigger();
    form.FormDestroy();
    SettingsFile ini(settings.path());
    EXPECT_EQ(ini.ReadString(QStringLiteral("Display"), QStringLiteral("StatisticsColumns"), {}),
              QStringLiteral("Loss%,Snt,Last,Avg,Best,Wrst,StDev"));
    TformMain again(settings.path(), fakes.services());
    EXPECT_EQ(again.displayOptions().ShownStatistics, LikeMtrColumns());
    EXPECT_TRUE(again.View1->likeMtrAction()->isChecked());
}

}  // namespace
}  // namespace hoplark
