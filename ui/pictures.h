// The station's pictures (ImageList1): 1 to 5 the toolbar's, 6 the encoder's, 7 the decoder's.
#pragma once

#include <QIcon>

namespace varnetix {

enum Picture {
    kPictureDiscover = 1,
    kPictureRefresh,
    kPictureSave,
    kPictureStartLevel,
    kPictureStopLevel,
    kPictureEncoder,
    kPictureDecoder,
};

QIcon picture(Picture index);

} // namespace varnetix
