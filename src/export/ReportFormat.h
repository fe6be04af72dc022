#pragma once

namespace hoplark {

// How a report is printed.
enum class ReportFormat { Text, Csv, Json };

}  // namespace hoplark
