#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace quillmere {

// Every error the program raises carries its exact message text (UTF-8).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message)
        : std::runtime_error(message)
    {
    }
    explicit Exception(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};

#define QUILLMERE_ERROR_CLASS(Name)                                                                                    \
    class Name : public Exception {                                                                                    \
    public:                                                                                                            \
        using Exception::Exception;                                                                                    \
    };

QUILLMERE_ERROR_CLASS(EListError)        // a row index outside the table
QUILLMERE_ERROR_CLASS(EInvalidGridOperation) // an unknown column name
QUILLMERE_ERROR_CLASS(EConvertError)     // a text that is not a number where one is needed
QUILLMERE_ERROR_CLASS(EInvalidGraphic)   // a picture file of the wrong kind or shape
QUILLMERE_ERROR_CLASS(EInvalidOperation) // e.g. a thumbnail of the wrong size
QUILLMERE_ERROR_CLASS(EReadError)        // a file that ends too early
QUILLMERE_ERROR_CLASS(EFOpenError)       // a file that cannot be opened
QUILLMERE_ERROR_CLASS(EJPEG)             // a fatal error of the JPEG decoder
QUILLMERE_ERROR_CLASS(EPNG)              // a fatal error of the PNG decoder

#undef QUILLMERE_ERROR_CLASS

} // namespace quillmere
