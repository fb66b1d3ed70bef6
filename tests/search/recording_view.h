#pragma once

#include "platform/errors.h"
#include "search/search_view.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace quillmere::test {

// A SearchView that writes down every call in order ("label1 <text>",
// "label3 <text>", "max <n>", "pos <n>", "pump") and can run a callback at
// each pump, as a handler run by the window would (press Stop, delete a file).
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
        if (maximum < 0) { // the progress bar refuses it
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

    std::vector<std::string> only(const std::string &prefix) const
    {
        std::vector<std::string> picked;
        std::copy_if(events.begin(), events.end(), std::back_inserter(picked),
                     [&](const std::string &event) { return event.rfind(prefix, 0) == 0; });
        return picked;
    }
};

} // namespace quillmere::test
