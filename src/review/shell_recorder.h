#pragma once

#include "review/shell.h"

#include <vector>

namespace quillmere {

// A shell that only writes down what it is asked, in order, for tests.
class RecordingShell : public Shell {
public:
    enum class Request { Open, Properties };
    struct Call {
        Request request;
        QString uri;
        friend bool operator==(const Call &, const Call &) = default;
    };

    void openUri(const QString &uri) override { calls.push_back({Request::Open, uri}); }
    void showItemProperties(const QString &uri) override { calls.push_back({Request::Properties, uri}); }

    std::vector<Call> calls;
};

} // namespace quillmere
