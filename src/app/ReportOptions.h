#pragma once

#include <QString>
#include <QStringList>

#include "export/ReportFormat.h"
#include "trace/AddressChoice.h"

namespace hoplark {

// The options of `hoplark --report TARGET [options]`.
struct ReportOptions {
    QString target;
    qint32 count = 10;  // rounds to launch; a report must end, so never 0
    QString delayText = QStringLiteral("1 Second");
    qint32 delayMs = 1000;    // delayText read with the window's delay rules
    qint32 samples = 0;       // statistics window in rounds; 0 = all
    qint32 timeoutMs = 9998;  // probe time-out
    qint32 packetSize = 56;   // echo data bytes
    bool ignoreFirstHop = false;
    bool resolveNames = true;
    // -4 / -6: which of a name's addresses to trace (and which kind of literal to accept).
    AddressChoice addressChoice = AddressChoice::ResolverOrder;
    // After the last round's answers, how long names still under way are waited for.
    qint32 nameWaitMs = 2000;
    ReportFormat format = ReportFormat::Text;
    // Text and CSV also give each hop's window statistics to fractions of a millisecond.
    bool wide = false;
    // --record FILE: the trace is also written to this new recording.
    QString recordPath;
    // --from FILE: no trace; the table comes from this recording.
    QString fromPath;
    bool showHelp = false;
};

// The outcome of reading the report's arguments: the options, or the reason they were refused.
struct ReportArguments {
    ReportOptions options;
    QString error;  // empty when the arguments are good
    // Lines to print on standard error before anything else happens, such as a delay whose
    // unit is read differently from what it looks like.
    QStringList warnings;
};

// Reads the arguments that follow --report. Numbers follow the program's integer text rule.
ReportArguments ParseReportArguments(const QStringList& arguments);

// The usage text of the report mode.
QString ReportUsageText();

}  // namespace hoplark
