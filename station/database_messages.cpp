#include "station/database_messages.h"

namespace varnetix {

namespace {

QString sentence(const std::string& reason) {
    QString text = QString::fromStdString(reason);
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

QString unreadableDatabaseMessage(const StoreResult& failure, const QString& consequence) {
    return joinLines({QStringLiteral("The local database '%1' cannot be read: %2.")
                          .arg(QString::fromStdString(failure.path), sentence(failure.reason)),
                      consequence});
}

QString storeFailureMessage(const StoreResult& failure, const QString& consequence) {
    return joinLines({QStringLiteral("Unable to save to the local database '%1': %2.")
                          .arg(QString::fromStdString(failure.path), sentence(failure.reason)),
                      consequence});
}

} // namespace varnetix
