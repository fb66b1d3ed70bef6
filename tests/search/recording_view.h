#pragma once

#include "platform/errors.h"
#include "search/search_view.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace quillmere::test {

// A SearchView that writes down every call in order, as "label1 <text>",
// "label3 <text>", "label4 <text>", "max <n>", "pos <n>" and "pump", and can
// run a callback at each pump (to press Stop, delete a file, ...).
class RecordingView : public SearchView {
public:
    std::vector<std::string> events;
    std::function<void()> onPump;
    int pumps = 0;

    void setLabel1(const QString &text) override { events.push_back("label1 " + text.toStdString()); }
    void setLabel3(const QString &text) override { events.push_back("label3 " + text.toStdString()); }
    void setLabel4(const QString &text) override { events.push_back("label4 " + text.toStdString()); }
    void setProgressMaximum(int maximum) override
    {
        // Like the real progress bar, which refuses a maximum below its minimum.
        if (maximum < 0) {
            throw EInvalidOperation(std::string("Property value out of range"));
        }
        events.push_back("max " + std::to_string(maximum));
    }
    void setProgressPosition(int position) override { events.push_back("pos " + std::to_string(position)); }
    void pumpMessages() override
    {
        ++pumps;
        events.push_back("pump");
        if (onPump) {
            onPump();
        }
    }

    // The events that start with `prefix`, in order.
    std::vector<std::string> only(const std::string &prefix) const
    {
        std::vector<std::string> picked;
        for (const auto &event : events) {
            if (event.rfind(prefix, 0) == 0) {
                picked.push_back(event);
            }
        }
        return picked;
    }
};

} // namespace quillmere::test
