#pragma once

#include <QString>

namespace quillmere {

// What the search stages show and when they let the window breathe. The main
// window implements it with Label1, Label3, Label4, ProgressBar1 and a run of
// pending events; tests and benchmarks implement it without a window.
class SearchView {
public:
    virtual ~SearchView() = default;

    virtual void setLabel1(const QString &text) = 0;
    virtual void setLabel3(const QString &text) = 0;
    virtual void setLabel4(const QString &text) = 0;
    // The progress bar refuses a maximum below 0 by throwing.
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // Lets pending window messages run; handlers run here may press Stop.
    // Throws SearchAbandoned when a handler run here abandoned the search.
    virtual void pumpMessages() = 0;
};

// Raised from a pump when the search is abandoned: its window was closed, or
// a newer search started and ran inside that pump. Every stage ends at the
// pump it is in, before it touches the tables again, and the run ends without
// "Finish". A superseded search leaves StopFlag and the labels to the search
// that replaced it. It is no std::exception, so no handler meant for errors
// takes it.
struct SearchAbandoned {
    bool superseded = false;
};

// A view that shows nothing and pumps nothing (benchmarks, batch use).
class SilentSearchView : public SearchView {
public:
    void setLabel1(const QString &) override { }
    void setLabel3(const QString &) override { }
    void setLabel4(const QString &) override { }
    void setProgressMaximum(int) override { }
    void setProgressPosition(int) override { }
    void pumpMessages() override { }
};

} // namespace quillmere
