#pragma once

#include <QString>

namespace prismeta {

struct CollectReport;

// What the report after "Collect Project…" says: a sentence on the outcome,
// a short list of the files that could not be copied (with why), and every
// one of them with its full path for the details.
struct CollectReportText {
    QString text;
    QString informative;
    QString details;
    bool complete = false; // everything was copied
};

CollectReportText describeCollect(const CollectReport& report);

} // namespace prismeta
