#include "ui/pictures.h"

#include <array>

// The pictures are compiled into the library, which needs them registered by hand.
static void registerPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace varnetix {

QIcon picture(Picture index) {
    static const bool registered = (registerPictures(), true);
    (void)registered;
    static constexpr std::array<const char*, 7> kFiles = {
        "discover", "refresh", "save", "level-start", "level-stop", "encoder", "decoder"};
    return QIcon(QStringLiteral(":/icons/%1.png")
                     .arg(QLatin1String(kFiles.at(static_cast<std::size_t>(index - 1)))));
}

} // namespace varnetix
