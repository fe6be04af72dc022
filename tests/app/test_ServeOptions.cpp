// The serving mode's arguments: where it listens, and each target's own trace options.
#include <gtest/gtest.h>

#include <QTemporaryFile>

#include "app/ServeOptions.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

TEST(ServeOptions, ListensOnLoopbackUnlessToldAndGivesEachTargetItsOptions) {
    QTemporaryFile targets;
    ASSERT_TRUE(targets.open());
    targets.write("# the fleet\n\nexample.org --delay 5 --no-dns\n  192.0.2.7 --samples 0\n");
    targets.close();

    ServeArguments parsed = ParseServeArguments(
        {QStringLiteral("--target"), QStringLiteral("a.example"), QStringLiteral("--targets"),
         targets.fileName(), QStringLiteral("--timeout"), QStringLiteral("500")});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error;
    EXPECT_EQ(parsed.options.address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(parsed.options.port, ServeOptions::DefaultPort);
    ASSERT_EQ(parsed.options.targets.size(), 3u);
    const ReportOptions& plain = parsed.options.targets[0];
    EXPECT_EQ(plain.target, "a.example");
    EXPECT_EQ(plain.samples, ServeOptions::DefaultSamples);
    EXPECT_EQ(plain.timeoutMs, 500);
    EXPECT_EQ(plain.delayMs, 1000);
    EXPECT_TRUE(plain.resolveNames);
    const ReportOptions& slow = parsed.options.targets[1];
    EXPECT_EQ(slow.target, "example.org");
    EXPECT_EQ(slow.delayMs, 5000);
    EXPECT_FALSE(slow.resolveNames);
    EXPECT_EQ(slow.timeoutMs, 500);
    EXPECT_EQ(parsed.options.targets[2].samples, 0);

    parsed = ParseServeArguments(
        {QStringLiteral("[::]:9100"), QStringLiteral("--target"), QStringLiteral("x")});
    EXPECT_EQ(parsed.options.address, QHostAddress(QHostAddress::AnyIPv6));
    EXPECT_EQ(parsed.options.port, 9100);
    parsed = ParseServeArguments(
        {QStringLiteral("8080"), QStringLiteral("--target"), QStringLiteral("x")});
    EXPECT_EQ(parsed.options.address, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(parsed.options.port, 8080);
}

TEST(ServeOptions, RefusesWhatCannotBeServed) {
    QTemporaryFile packetSize;
    ASSERT_TRUE(packetSize.open());
    packetSize.write("example.org --packet-size 100\n");
    packetSize.close();
    const std::vector<QStringList> refused = {
        {},
        {QStringLiteral("70000"), QStringLiteral("--target"), QStringLiteral("x")},
        {QStringLiteral("host.name:80"), QStringLiteral("--target"), QStringLiteral("x")},
        {QStringLiteral("--target"), QStringLiteral("x"), QStringLiteral("--count"),
         QStringLiteral("3")},
        {QStringLiteral("--target"), QStringLiteral("x"), QStringLiteral("--target"),
         QStringLiteral("x")},
        {QStringLiteral("--target")},
        {QStringLiteral("--targets"), QStringLiteral("/nonexistent/targets")},
        {QStringLiteral("--targets"), packetSize.fileName()},
        {QStringLiteral("--target"), QStringLiteral("x"), QStringLiteral("--delay"),
         QStringLiteral("soon")},
    };
    for (const QStringList& arguments : refused)
        EXPECT_FALSE(ParseServeArguments(arguments).error.isEmpty()) << arguments.join(u' ');
}

}  // namespace
}  // namespace hoplark
