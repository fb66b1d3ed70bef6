#include "common/error_report.h"

#include <QMessageBox>
#include <QTimer>

namespace quillmere {

namespace {

void showMessageBox(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillmere"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

ErrorPresenter &presenter()
{
    static ErrorPresenter current = showMessageBox;
    return current;
}

} // namespace

ErrorPresenter setErrorPresenter(ErrorPresenter value)
{
    ErrorPresenter previous = std::move(presenter());
    presenter() = std::move(value);
    return previous;
}

QString errorReportText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

void reportError(const QString &message)
{
    presenter()(errorReportText(message));
}

void reportError(const std::exception &error)
{
    reportError(QString::fromUtf8(error.what()));
}

void reportErrorLater(const QString &message)
{
    QTimer::singleShot(0, qApp, [message] { reportError(message); });
}

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        reportError(error);
    } catch (...) {
        reportError(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace quillmere
