// Every control of the main window, by its established name. The window creates them; the
// controllers read and write the window's state through this one place.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <array>
#include <vector>

#include "ui/caption_label.h"

namespace varnetix {

// Role captions of lblElementType.
inline const QString kRoleEncoder = QStringLiteral("ENCODER");
inline const QString kRoleDecoder = QStringLiteral("DECODER");
inline const QString kRoleUnknown = QStringLiteral("UNKNOWN");
inline const QString kNoSelection = QStringLiteral("-");

// Toolbar button indexes, counted from 1 as the operator's toolbar has them.
enum ToolbarButton {
    kButtonDiscover = 1,
    kButtonRefresh = 2,
    kButtonSave = 4,
    kButtonStartLevel = 6,
    kButtonStopLevel = 7,
};

// Pictures of ImageList1, counted from 1.
enum Picture { kPictureEncoder = 6, kPictureDecoder = 7 };

struct WindowControls {
    QWidget* frmMain = nullptr;
    QToolBar* Toolbar1 = nullptr;
    std::array<QAction*, 8> toolbarButtons{}; // [1..7]; 3 and 5 are separators
    std::vector<QIcon> ImageList1;            // pictures 1..7 at [0..6]

    QGroupBox* frmTreeView = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QGroupBox* frmProperties = nullptr;
    QGroupBox* frmDiagnostics = nullptr;

    QListWidget* lstHidden = nullptr;
    QSlider* Slider1 = nullptr;
    QCheckBox* chkGetVolume = nullptr;

    CaptionLabel* lblElementType = nullptr;
    CaptionLabel* lblElementMAC = nullptr;
    CaptionLabel* lblVersion = nullptr;
    CaptionLabel* lblSerialNumber = nullptr;
    QLineEdit* txtElementName = nullptr;
    QLineEdit* txtElementIP = nullptr;
    QLineEdit* txtElementGW = nullptr;
    QLineEdit* txtElementMask = nullptr;
    QLineEdit* txtRemoteIP = nullptr;
    QLineEdit* txtVLAN_OM = nullptr;
    QLineEdit* txtVLAN_Audio = nullptr;
    QComboBox* cmbAudioType = nullptr;
    QComboBox* cmbAudioInput = nullptr;
    QComboBox* cmbAudioTX = nullptr;
    QComboBox* cmbEncoders = nullptr;
    QScrollBar* scrlAtten = nullptr;
    QScrollBar* scrlBuffer = nullptr;
    QLabel* lblAttenDB = nullptr;
    QLabel* lblLatency = nullptr;
    QLabel* Label9 = nullptr;  // "Audio source:" / "Audio atten:"
    QLabel* Label7 = nullptr;  // "Remote IP:"
    QLabel* Label10 = nullptr; // "TX type:"
    QLabel* lblTxNotApplicable = nullptr;
    QLabel* lblRemoteNotApplicable = nullptr;
    QCheckBox* chkSFNEnabled = nullptr;

    CaptionLabel* lblPing = nullptr;
    ShapeIndicator* shpPing = nullptr;
    QFrame* picVUMeter = nullptr;
    LevelBar* VUMeter = nullptr;
    QLabel* lblVolume = nullptr;

    QTimer* timerRemoteSent = nullptr;
    QTimer* tmrRetryPing = nullptr;
    QTimer* timerGetMAC = nullptr;
    QTimer* tmrVolume = nullptr;

    QAction* button(int index) const { return toolbarButtons.at(static_cast<std::size_t>(index)); }
    QIcon picture(int index) const { return ImageList1.at(static_cast<std::size_t>(index - 1)); }
};

} // namespace varnetix
