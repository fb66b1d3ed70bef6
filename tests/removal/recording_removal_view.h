#pragma once

#include "removal/removal_pass.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace quillmere::test {

// A removal view that records what the pass tells it: the report's lines,
// the progress bar's maximum and positions, and how often it was given the
// chance to handle messages (onMessages runs at each such chance).
class RecordingRemovalView : public RemovalView {
public:
    void addReportLine(const QString &line) override { report.push_back(line); }
    void setProgressMaximum(int value) override { maximum = value; }
    void setProgressPosition(int value) override { positions.push_back(value); }
    void processMessages() override
    {
        if (onMessages) {
            onMessages(pumps);
        }
        ++pumps;
    }

    QStringList report;
    int maximum = -100;
    std::vector<int> positions;
    int pumps = 0;
    std::function<void(int pump)> onMessages;
};

// A report without the space freed that closes every report (and the empty
// line before it); a report that does not end so fails the test.
inline QStringList WithoutSpaceFreed(QStringList report)
{
    if (report.size() >= 2 && report.back().startsWith(QStringLiteral("Space freed"))
        && report[report.size() - 2].isEmpty()) {
        report.resize(report.size() - 2);
    } else {
        ADD_FAILURE() << "the report does not end with the space freed:\n"
                      << report.join(QLatin1Char('\n')).toStdString();
    }
    return report;
}

} // namespace quillmere::test
