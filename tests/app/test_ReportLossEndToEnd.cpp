// Loss verdicts and responder changes as the report mode prints them, on router chains whose
// routers limit their answers, whose links drop probes and whose next hop alternates.
#include <gtest/gtest.h>

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "support/NetnsChain.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

// Runs the report as root inside the chain's client, by default with every round in the
// statistics.
QJsonObject reportJson(const test::NetnsChain& chain, const std::string& target, int rounds,
                       const QString& delay = QStringLiteral("0.1"), int samples = 0) {
    QProcess process;
    process.start(
        QStringLiteral("ip"),
        {QStringLiteral("netns"), QStringLiteral("exec"),
         QString::fromStdString(chain.clientNamespace()),
         QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"), QStringLiteral("--report"),
         QString::fromStdString(target), QStringLiteral("--count"), QString::number(rounds),
         QStringLiteral("--delay"), delay, QStringLiteral("--timeout"), QStringLiteral("1500"),
         QStringLiteral("--samples"), QString::number(samples), QStringLiteral("--no-dns"),
         QStringLiteral("--format"), QStringLiteral("json")});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "report timed out";
        return {};
    }
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

std::string describe(const QJsonObject& root) {
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

TEST(ReportLossEndToEnd, TellsARateLimitingRouterFromALossyLink) {
    HOPLARK_REQUIRE_NETNS();
    // Router 2 answers once a second after a short burst; behind router 3 one echo in three is
    // dropped, so hop 4 and the target really lose probes.
    test::NetnsChainOptions options;
    options.routers = 4;
    options.icmpRateLimitMs = {{2, 1000}};
    options.dropForwardedEveryNth = {{3, 3}};
    test::NetnsChain chain(options);
    const int rounds = 24;
    const QJsonObject root = reportJson(chain, chain.targetAddress(), rounds);
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 5) << describe(root);

    const QJsonObject first = hops[0].toObject();
    EXPECT_EQ(first["lost"].toInt(), 0);
    EXPECT_TRUE(first["loss_verdict"].isNull());

    const QJsonObject limited = hops[1].toObject();
    EXPECT_GT(limited["window_lost"].toInt(), rounds / 3) << describe(root);
    EXPECT_TRUE(limited["rate_limited"].toBool()) << describe(root);
    EXPECT_EQ(limited["loss_verdict"].toString(), "rate-limited");
    // Hop 3 answered in every one of those rounds.
    EXPECT_EQ(limited["not_forwarded_loss"].toInt(), limited["window_lost"].toInt());
    // Traffic through it is lost no more than the least lossy hop beyond shows.
    EXPECT_LE(limited["path_loss_pct"].toDouble(), hops[2].toObject()["loss_pct"].toDouble());

    EXPECT_EQ(hops[2].toObject()["lost"].toInt(), 0) << describe(root);

    for (int k : {3, 4}) {
        const QJsonObject lossy = hops[k].toObject();
        SCOPED_TRACE(k + 1);
        EXPECT_GT(lossy["window_lost"].toInt(), 0) << describe(root);
        EXPECT_FALSE(lossy["rate_limited"].toBool()) << describe(root);
        EXPECT_EQ(lossy["loss_verdict"].toString(), "loss");
    }
    const QJsonObject target = hops[4].toObject();
    EXPECT_DOUBLE_EQ(target["path_loss_pct"].toDouble(), target["loss_pct"].toDouble());
    EXPECT_GT(target["path_loss_pct"].toDouble(), 15.0);
    // The hop before the target lies behind the same lossy link: its path loss is the lesser
    // of its own loss and the target's, not only the rounds both happened to lose.
    const QJsonObject before = hops[3].toObject();
    EXPECT_DOUBLE_EQ(before["path_loss_pct"].toDouble(),
                     std::min(before["loss_pct"].toDouble(), target["loss_pct"].toDouble()));
    EXPECT_GT(root["destination_loss_pct"].toDouble(), 15.0);
    EXPECT_LT(root["destination_loss_pct"].toDouble(), 50.0);
}

TEST(ReportLossEndToEnd, AtOneSecondRoundsEveryLossStaysInItsRoundAndTheWindowCountsItsOwn) {
    HOPLARK_REQUIRE_NETNS();
    // Behind router 2 one echo in three is dropped; its probe times out after 1.5 s, well
    // after the next round's answers are in.
    test::NetnsChainOptions options;
    options.routers = 3;
    options.dropForwardedEveryNth = {{2, 3}};
    test::NetnsChain chain(options);
    const int rounds = 7;
    const int window = 3;
    const QJsonObject root =
        reportJson(chain, chain.targetAddress(), rounds, QStringLiteral("1"), window);
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 4) << describe(root);
    EXPECT_EQ(root["first_round"].toInt(), rounds - window + 1);
    int lostBehindTheLink = 0;
    for (int k = 0; k < hops.size(); ++k) {
        SCOPED_TRACE(k + 1);
        const QJsonObject hop = hops[k].toObject();
        // One place per round, whenever its result came.
        const QJsonArray samples = hop["samples"].toArray();
        ASSERT_EQ(samples.size(), rounds) << describe(root);
        int lostInAll = 0;
        int lostInWindow = 0;
        for (int r = 0; r < rounds; ++r) {
            if (!samples[r].isNull()) continue;
            ++lostInAll;
            if (r >= rounds - window) ++lostInWindow;
        }
        // The window's figures are about exactly its rounds, the trace's about all of them.
        EXPECT_EQ(hop["sent"].toInt(), window) << describe(root);
        EXPECT_EQ(hop["lost"].toInt(), lostInWindow) << describe(root);
        EXPECT_EQ(hop["pending"].toInt(), 0);
        EXPECT_EQ(hop["lost_total"].toInt(), lostInAll) << describe(root);
        EXPECT_NEAR(hop["loss_pct"].toDouble(), 100.0 * lostInWindow / window, 0.001);
        if (k < 2) {
            EXPECT_EQ(lostInAll, 0) << describe(root);
        } else {
            lostBehindTheLink += lostInAll;
        }
    }
    // Rounds 2 to 7 send two echoes each through the lossy link: four of those twelve are
    // dropped, whatever round 1 left the count at.
    EXPECT_GE(lostBehindTheLink, 4) << describe(root);
    EXPECT_LE(lostBehindTheLink, 4 + 11) << describe(root);
}

TEST(ReportLossEndToEnd, ListsBothRespondersOfAnAlternatingHop) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 2;
    options.alternatingHop = true;
    test::NetnsChain chain(options);
    const int rounds = 10;
    const QJsonObject root = reportJson(chain, chain.alternatingHostAddress(), rounds);
    EXPECT_EQ(root["destination_hop"].toInt(), 4) << describe(root);
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 4) << describe(root);

    // A loaded machine may leave a round out (a result still missing when the report ended);
    // the shares are over the rounds the statistics hold.
    const QJsonObject alternating = hops[2].toObject();
    const int counted = alternating["window_samples"].toInt();
    EXPECT_GE(counted, rounds - 2) << describe(root);
    const QJsonArray responders = alternating["responders"].toArray();
    ASSERT_EQ(responders.size(), 2) << describe(root);
    const auto addresses = test::NetnsChain::alternatingHopAddresses();
    int answers = 0;
    for (const QJsonValue& value : responders) {
        const QJsonObject responder = value.toObject();
        const std::string address = responder["address"].toString().toStdString();
        EXPECT_TRUE(address == addresses[0] || address == addresses[1]) << address;
        EXPECT_GE(responder["count"].toInt(), counted / 2 - 1) << describe(root);
        answers += responder["count"].toInt();
    }
    EXPECT_EQ(answers, counted - alternating["window_lost"].toInt());
    // The router in front answers alone.
    const QJsonObject front = hops[1].toObject();
    const QJsonArray alone = front["responders"].toArray();
    ASSERT_EQ(alone.size(), 1) << describe(root);
    EXPECT_EQ(alone[0].toObject()["address"].toString(),
              QString::fromStdString(chain.routerAddress(2)));
}

}  // namespace
}  // namespace hoplark
