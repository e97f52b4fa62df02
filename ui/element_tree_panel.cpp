#include "ui/element_tree_panel.h"

#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/byte_text.h"
#include "station/element_model.h"
#include "ui/node_badges.h"
#include "ui/pictures.h"

namespace varnetix {

namespace {

// The model's nodes with their pictures, which are the widgets' business.
class PicturedNodes : public QIdentityProxyModel {
public:
    explicit PicturedNodes(QObject* parent)
        : QIdentityProxyModel(parent), m_encoder(picture(kPictureEncoder)),
          m_decoder(picture(kPictureDecoder)) {}

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DecorationRole)
            return index.data(kNodeEncoderRole).toBool() ? m_encoder : m_decoder;
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon m_encoder;
    QIcon m_decoder;
};

} // namespace

ElementTreePanel::ElementTreePanel(ElementModel& model, QWidget* parent)
    : QGroupBox(QStringLiteral("Elements"), parent), m_model(model),
      m_shown(new PicturedNodes(this)), m_tree(new QTreeView) {
    setObjectName(QStringLiteral("frmTreeView"));
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setIconSize(QSize(16, 16));
    m_tree->setAccessibleName(QStringLiteral("Elements"));
    m_tree->setItemDelegate(new NodeBadgeDelegate(m_tree));
    m_shown->setSourceModel(&model);
    m_tree->setModel(m_shown);
    m_tree->installEventFilter(this);
    // Wide enough for a node of a typical name and its marks.
    m_tree->setMinimumWidth(m_tree->fontMetrics().horizontalAdvance(
                                QStringLiteral("STUDIO ENCODER 1 [00:1A:2B:3C:4D:5E]")) +
                            5 * m_tree->iconSize().width() + 3 * m_tree->frameWidth() + 16);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeView::clicked, this, [this](const QModelIndex& node) {
        emit nodeActivated(node.data(kNodeKeyRole).toString());
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        setTitle(fromBytes(ElementCountCaption(static_cast<std::size_t>(m_model.rowCount()))));
    });
}

void ElementTreePanel::activate(const std::string& section) {
    const QModelIndex node = m_shown->mapFromSource(m_model.indexOf(section));
    if (node.isValid()) {
        m_tree->setCurrentIndex(node);
        m_tree->setFocus();
        emit nodeActivated(node.data(kNodeKeyRole).toString());
    }
}

bool ElementTreePanel::eventFilter(QObject* watched, QEvent* event) {
    // With the keyboard alone, Return or Space on a node loads it as a click does.
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex node = m_tree->currentIndex();
        if (node.isValid() &&
            (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            emit nodeActivated(node.data(kNodeKeyRole).toString());
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace varnetix
