#include "gui/qt/about_window.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/generator_model.h"
#include "app/program_version.h"
#include "gui/qt/glyphs.h"

namespace vs::gui {

QString ProgramVersion() { return QString::fromUtf8(kProgramVersion); }

TfAbout::TfAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TfAbout"));
    setWindowTitle(tr("About %1").arg(QString::fromUtf8(TfVexelSCREENModel::kApplicationTitle)));
    setWindowIcon(ProgramIcon());

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(QSize(96, 96)));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* name = new QLabel(QString::fromUtf8(TfVexelSCREENModel::kApplicationTitle), this);
    name->setObjectName(QStringLiteral("aboutName"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);

    auto* version = new QLabel(tr("Version %1").arg(ProgramVersion()), this);
    version->setObjectName(QStringLiteral("aboutVersion"));

    auto* what = new QLabel(tr("Turns a Flash projector into a customised one for 32-bit Windows: the shape, border, "
                               "size and position of its window, what clicks and keys do, its icon and version "
                               "information, and the further files its movie needs, packed inside."),
                            this);
    what->setWordWrap(true);
    what->setMinimumWidth(340);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(20);
    layout->setVerticalSpacing(8);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->addWidget(icon, 0, 0, 4, 1);
    layout->addWidget(name, 0, 1);
    layout->addWidget(version, 1, 1);
    layout->addWidget(what, 2, 1);
    layout->setRowStretch(3, 1);
    layout->addWidget(buttons, 4, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace vs::gui
