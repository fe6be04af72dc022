#include <gtest/gtest.h>

#include <random>

#include "trace/HopEvidence.h"
#include "trace/LossVerdict.h"
#include "trace/PathEvidence.h"

namespace hoplark {
namespace {

struct VerdictCase {
    const char* name;
    LossCounts counts;
    LossVerdict expected;
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.name;
}

class JudgeLossRule : public testing::TestWithParam<VerdictCase> {};

TEST_P(JudgeLossRule, GivesTheVerdict) {
    EXPECT_EQ(JudgeLoss(GetParam().counts), GetParam().expected);
}

// Fields: samples, lost, notForwarded, pathLoss, hasLaterHops, downstreamLossShare.
INSTANTIATE_TEST_SUITE_P(
    Counts, JudgeLossRule,
    testing::Values(
        VerdictCase{"NothingLost", {20, 0, 0, 0, true, 0.0}, LossVerdict::None},
        VerdictCase{"NoSamples", {0, 0, 0, 0, true, 0.0}, LossVerdict::None},
        VerdictCase{
            "AllWentThroughNothingLostBeyond", {20, 6, 6, 0, true, 0.0}, LossVerdict::RateLimited},
        VerdictCase{
            "SingleLostAnswerLaterHopsFine", {20, 1, 1, 0, true, 0.0}, LossVerdict::RateLimited},
        VerdictCase{
            "EverythingLostLaterHopsFine", {10, 10, 10, 0, true, 0.0}, LossVerdict::RateLimited},
        VerdictCase{"LastHopHasNothingBeyond", {20, 6, 0, 6, false, 0.0}, LossVerdict::Loss},
        VerdictCase{"WholeRoundsLostBeyond", {20, 6, 0, 6, true, 0.3}, LossVerdict::Loss},
        // Independent drops on a link: later hops answer in most of the lost rounds but lose
        // as much themselves.
        VerdictCase{"IndependentLinkLoss", {30, 9, 8, 1, true, 0.3}, LossVerdict::Loss},
        VerdictCase{"BeyondLosesExactlyHalfCarriesOn", {20, 8, 8, 0, true, 0.2}, LossVerdict::Loss},
        VerdictCase{
            "BeyondLosesJustUnderHalf", {20, 8, 8, 0, true, 0.19}, LossVerdict::RateLimited},
        VerdictCase{"ThreeQuartersWentThrough", {20, 8, 6, 2, true, 0.0}, LossVerdict::RateLimited},
        VerdictCase{"UnderThreeQuartersWentThrough", {20, 8, 5, 3, true, 0.0}, LossVerdict::Loss}),
    [](const testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

// Crafted rounds: one string per hop, one character per merged sample in merge order. A letter
// is an answer from the responder 10.0.0.<letter>, '.' a lost sample and ' ' a result not in yet.
// Samples belong to rounds firstRound, firstRound + 1, ... unless their rounds are given one by
// one.
struct CraftedHop {
    CraftedHop(qint32 first, std::string text) : firstRound(first), samples(std::move(text)) {}
    CraftedHop(std::string text, std::vector<qint32> each)
        : samples(std::move(text)), rounds(std::move(each)) {}
    qint32 firstRound = 1;
    std::string samples;
    std::vector<qint32> rounds;
};

HopTable tableOf(const std::vector<CraftedHop>& crafted, const SampleWindow& window) {
    HopTable table;
    for (const CraftedHop& c : crafted) {
        THostInfo& hop = table.append();
        for (size_t k = 0; k < c.samples.size(); ++k) {
            SampleDetail detail;
            detail.round = c.rounds.empty() ? c.firstRound + static_cast<qint32>(k) : c.rounds[k];
            const char s = c.samples[k];
            if (s == ' ') continue;
            const bool lost = s == '.';
            detail.roundTripUs = lost ? -1 : 10000;
            hop.AddSample(lost ? LOST_SAMPLE : 10, window, detail,
                          lost ? QString() : QStringLiteral("10.0.0.%1").arg(QChar(s)));
        }
    }
    return table;
}

const SampleWindow AllTen{0, 9};

TEST(HopEvidence, ARouterLosingAnswersWhileLaterHopsAnswerIsRateLimited) {
    const HopTable table = tableOf({{1, "AAAAAAAAAA"},  //
                                    {1, "A.A.A.A.AA"},
                                    {1, "AAAAAAAAAA"},
                                    {1, "AAAAAAAAAA"}},
                                   AllTen);
    const auto evidence = GatherHopEvidence(table, AllTen);
    ASSERT_EQ(evidence.size(), 4u);
    EXPECT_EQ(evidence[1].loss.samples, 10);
    EXPECT_EQ(evidence[1].loss.lost, 4);
    EXPECT_EQ(evidence[1].loss.notForwarded, 4);
    EXPECT_EQ(evidence[1].loss.pathLoss, 0);
    EXPECT_EQ(evidence[1].verdict, LossVerdict::RateLimited);
    for (int i : {0, 2, 3})
        EXPECT_EQ(evidence[static_cast<size_t>(i)].verdict, LossVerdict::None) << i;
}

TEST(HopEvidence, RoundsLostFromAHopOnwardsArePathLossThere) {
    const HopTable table = tableOf({{1, "AAAAAAAAAA"},  //
                                    {1, "AA.AAA.AAA"},
                                    {1, "AA.AAA.AAA"},
                                    {1, "AA.AAA.AAA"}},
                                   AllTen);
    const auto evidence = GatherHopEvidence(table, AllTen);
    EXPECT_EQ(evidence[0].verdict, LossVerdict::None);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(evidence[i].loss.lost, 2) << i;
        EXPECT_EQ(evidence[i].loss.pathLoss, 2) << i;
        EXPECT_EQ(evidence[i].loss.notForwarded, 0) << i;
        EXPECT_EQ(evidence[i].verdict, LossVerdict::Loss) << i;
    }
}

TEST(HopEvidence, IndependentDropsOnALinkAreLossThoughLaterHopsAnswered) {
    // One probe in three lost behind hop 1, a different hop each round.
    const HopTable table = tableOf({{1, "AAAAAAAAA"},  //
                                    {1, ".AA.AA.AA"},
                                    {1, "A.AA.AA.A"},
                                    {1, "AA.AA.AA."}},
                                   AllTen);
    const auto evidence = GatherHopEvidence(table, AllTen);
    EXPECT_EQ(evidence[1].loss.notForwarded, 3);
    EXPECT_DOUBLE_EQ(evidence[1].loss.downstreamLossShare, 3.0 / 9);
    EXPECT_EQ(evidence[1].verdict, LossVerdict::Loss);
    EXPECT_EQ(evidence[2].verdict, LossVerdict::Loss);
    EXPECT_EQ(evidence[3].loss.pathLoss, 3);
    EXPECT_EQ(evidence[3].verdict, LossVerdict::Loss);
}

TEST(HopEvidence, HopsAreMatchedByRoundNotByPosition) {
    // Hop 2 joined in round 3; hop 1's lost answer of round 4 was merged after rounds 5 and 6.
    // Window: rounds 4 to 6 (positions 3..5).
    const SampleWindow window{3, 5};
    const HopTable table = tableOf({{"AAAAA.", {1, 2, 3, 5, 6, 4}},  //
                                    {3, "AAAA"}},
                                   window);
    const auto evidence = GatherHopEvidence(table, window);
    EXPECT_EQ(evidence[0].loss.samples, 3);
    EXPECT_EQ(evidence[0].loss.lost, 1);
    EXPECT_EQ(evidence[0].loss.notForwarded, 1);  // hop 2 answered round 4
    EXPECT_EQ(evidence[0].verdict, LossVerdict::RateLimited);
    EXPECT_EQ(evidence[1].loss.samples, 3);  // rounds 4, 5, 6 at positions 1..3
}

TEST(HopEvidence, RoundsStillWaitingForAResultAreLeftOut) {
    // Hop 1's result of round 4 is not in yet (a loss waits for its time-out) while rounds 5
    // and 6 answered; the target lost round 4 too. Round 7 is newer than anything hop 1 has.
    const HopTable table = tableOf({{1, "AAA AA"}, {1, "AA...AA"}}, AllTen);
    const auto evidence = GatherHopEvidence(table, AllTen);
    EXPECT_EQ(evidence[0].loss.samples, 5);
    EXPECT_EQ(evidence[1].loss.samples, 6);  // rounds 1-3 and 5-7
    EXPECT_EQ(evidence[1].loss.lost, 2);
    // Once hop 1's loss of round 4 is in, the round counts.
    const HopTable settled = tableOf({{1, "AAA.AA"}, {1, "AA...AA"}}, AllTen);
    const auto after = GatherHopEvidence(settled, AllTen);
    EXPECT_EQ(after[1].loss.lost, 3);
    EXPECT_EQ(after[0].loss.pathLoss, 1);
}

TEST(HopEvidence, OnlyTheWindowsRoundsCount) {
    const HopTable table = tableOf({{1, "..AAAAAA"}, {1, "AAAAAAAA"}}, AllTen);
    const auto later = GatherHopEvidence(table, {2, 7});
    EXPECT_EQ(later[0].loss.samples, 6);
    EXPECT_EQ(later[0].verdict, LossVerdict::None);
    const auto empty = GatherHopEvidence(table, {0, -1});
    EXPECT_EQ(empty[0].loss.samples, 0);
    EXPECT_EQ(empty[0].verdict, LossVerdict::None);
    EXPECT_TRUE(empty[0].responders.empty());
}

TEST(HopEvidence, RespondersAreListedWithTheirAnswersMostFirst) {
    const HopTable table = tableOf({{1, "ABB.BCB"}, {1, "AAAAAAA"}}, AllTen);
    const auto evidence = GatherHopEvidence(table, AllTen);
    const auto& responders = evidence[0].responders;
    ASSERT_EQ(responders.size(), 3u);
    EXPECT_EQ(responders[0].address, "10.0.0.B");
    EXPECT_EQ(responders[0].answers, 4);
    EXPECT_EQ(responders[1].address, "10.0.0.A");
    EXPECT_EQ(responders[1].answers, 1);
    EXPECT_EQ(responders[2].address, "10.0.0.C");
    EXPECT_EQ(evidence[0].answers, 6);
    // A responder seen only outside the window is not listed.
    const auto late = GatherHopEvidence(table, {1, 6});
    ASSERT_EQ(late[0].responders.size(), 2u);
    EXPECT_EQ(late[0].responders[1].address, "10.0.0.C");
}

TEST(HopEvidence, TheUnreachableMarkerTakesNoPart) {
    HopTable table = tableOf({{1, "A.A.A.A.A."}}, AllTen);
    THostInfo& marker = table.append();
    marker.Unreachable = true;
    for (int k = 1; k <= 10; ++k)
        marker.AddSample(10, AllTen, SampleDetail{10000, k}, QStringLiteral("10.0.0.9"));
    const auto evidence = GatherHopEvidence(table, AllTen);
    EXPECT_FALSE(evidence[0].loss.hasLaterHops);
    EXPECT_EQ(evidence[0].loss.pathLoss, 5);
    EXPECT_EQ(evidence[0].verdict, LossVerdict::Loss);
    EXPECT_EQ(evidence[1].verdict, LossVerdict::None);
    EXPECT_EQ(evidence[1].loss.samples, 0);
}

TEST(PathEvidence, DestinationLossFollowsTheTableAndTheWindow) {
    TraceState state;
    state.Window = AllTen;
    state.HopList = tableOf({{1, "AAAA"}, {1, "AA.A"}}, AllTen);
    state.SamplesTaken = 4;
    PathEvidence evidence;
    evidence.refresh(state);
    EXPECT_FALSE(evidence.destinationLossPercent().has_value());  // destination not known yet

    state.DestinationHop = 2;
    evidence.refresh(state);
    ASSERT_TRUE(evidence.destinationLossPercent().has_value());
    EXPECT_DOUBLE_EQ(*evidence.destinationLossPercent(), 25.0);
    EXPECT_EQ(evidence.hop(1)->verdict, LossVerdict::Loss);
    EXPECT_EQ(evidence.hop(2), nullptr);

    // A new sample is seen at the next refresh.
    state.HopList.at(1).AddSample(LOST_SAMPLE, AllTen, SampleDetail{-1, 5}, QString());
    state.SamplesTaken = 5;
    evidence.refresh(state);
    EXPECT_DOUBLE_EQ(*evidence.destinationLossPercent(), 40.0);

    state.Window = {4, 4};
    evidence.refresh(state);
    EXPECT_DOUBLE_EQ(*evidence.destinationLossPercent(), 100.0);
}

TEST(HopEvidence, PathLossHoldsWhenEveryPacketIsDroppedOnItsOwn) {
    // Hop 5 drops 30 % of what it forwards, each packet on its own; hop 3 limits its own answers
    // to half; the destination is hop 7. Whether a probe to hop 6 and one to hop 7 are lost in
    // the same round is chance, so per-round evidence alone undercounts the path's loss.
    constexpr int Rounds = 2000;
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<std::string> hops(7);
    for (int round = 0; round < Rounds; ++round) {
        for (int hop = 1; hop <= 7; ++hop) {
            bool lost = false;
            if (hop == 3) lost = chance(random) < 0.5;
            if (hop >= 6) lost = chance(random) < 0.3;
            hops[size_t(hop - 1)] += lost ? '.' : 'A';
        }
    }
    const SampleWindow all{0, Rounds - 1};
    std::vector<CraftedHop> crafted;
    for (const std::string& text : hops)
        crafted.emplace_back(1, text);
    const HopTable table = tableOf(crafted, all);
    const auto evidence = GatherHopEvidence(table, all);

    const double destination = *evidence[6].stats.lossPercent;
    EXPECT_NEAR(destination, 30.0, 3.0);
    EXPECT_NEAR(*evidence[5].pathLossPercent, destination, 3.0);
    EXPECT_NEAR(*evidence[6].pathLossPercent, destination, 0.001);
    // Loss that does not carry on is not the path's: the limiting router and the hops before
    // the dropping link read none.
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(*evidence[i].pathLossPercent, 0.0) << "hop " << i + 1;
    EXPECT_EQ(evidence[2].verdict, LossVerdict::RateLimited);
    EXPECT_EQ(evidence[5].verdict, LossVerdict::Loss);
}

}  // namespace
}  // namespace hoplark
