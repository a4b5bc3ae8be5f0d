// The folder chooser and the layer's own few texts.
#include "settings/BundleUtilities.h"
#include "toolbox/ToolboxPrivate.h"

#include <QFileDialog>
#include <QFileInfo>

namespace tb {

QString LayerText(const char* key) {
    return GetLocalizedString(GetMainBundle(), QString::fromLatin1(key));
}

QString ChooseFolder(Window* parent, const QString& title, const QString& startFolder) {
    QWidget* owner = parent != nullptr && !parent->disposed ? parent->widget.data() : nullptr;
    QFileDialog dialog(owner, title, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    // The desktop's own chooser speaks the user's language by itself; these
    // are for the one drawn by Qt.
    dialog.setLabelText(QFileDialog::LookIn, LayerText(kTextLookIn));
    dialog.setLabelText(QFileDialog::FileName, LayerText(kTextFolder));
    dialog.setLabelText(QFileDialog::FileType, LayerText(kTextFilesOfType));
    dialog.setLabelText(QFileDialog::Accept, LayerText(kTextChoose));
    dialog.setLabelText(QFileDialog::Reject, LayerText(kTextCancel));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
}

} // namespace tb
