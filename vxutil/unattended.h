// Whether a person is there to answer: a batch run marks the application
// "unattended", and every box, the library's and the program's, then goes to
// standard error instead of waiting. The mark is read and set here only.
#pragma once

#include <QCoreApplication>
#include <QVariant>

inline constexpr const char* UnattendedProperty = "unattended";

inline bool Unattended() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && application->property(UnattendedProperty).toBool();
}

// Clearing it removes the mark, so a later check sees an application as it
// started.
inline void SetUnattended(bool unattended) {
    if (QCoreApplication* application = QCoreApplication::instance())
        application->setProperty(UnattendedProperty, unattended ? QVariant(true) : QVariant());
}
