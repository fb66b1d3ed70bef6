#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace quillmere {

// The application-wide report of errors that escape an event handler or a
// paint: a message box with the error icon titled "Quillmere". The program
// carries on afterwards. Tests replace the presenter to capture the text.
using ErrorPresenter = std::function<void(const QString &text)>;
// Installs a presenter and returns the one it replaces.
ErrorPresenter setErrorPresenter(ErrorPresenter presenter);

// The text as shown: a full stop is appended when the last character sorts
// after ".".
QString errorReportText(const QString &message);

void reportError(const std::exception &error);
void reportError(const QString &message);

// Runs a handler and reports what escapes it, so an error never unwinds
// through the toolkit's own frames.
template <class Handler>
void runReportingErrors(Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &error) {
        reportError(error);
    } catch (...) {
        reportError(QStringLiteral("Unknown error"));
    }
}

// Reports once the current event is over: a message box must not open in the
// middle of a paint.
void reportErrorLater(const QString &message);

// Runs a paint and reports what escapes it once the paint is over, so an
// error never unwinds through the toolkit's painting.
template <class Paint>
void paintReportingErrors(Paint &&paint)
{
    try {
        paint();
    } catch (const std::exception &error) {
        reportErrorLater(QString::fromUtf8(error.what()));
    } catch (...) {
        reportErrorLater(QStringLiteral("Unknown error"));
    }
}

// The application object: its notify() is the last net for errors that
// escape a handler anyway.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace quillmere
