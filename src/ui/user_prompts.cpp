#include "ui/user_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {

class QtPrompts : public UserPrompts {
public:
    void Notice(const QString& text, Icon icon) override {
        QMessageBox box(ToQt(icon), Title(), text, QMessageBox::Ok, Parent());
        box.exec();
    }

    bool Confirm(const QString& text) override {
        QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::Ok | QMessageBox::Cancel,
                        Parent());
        // OK is the default button, as in the platform's OK/Cancel boxes.
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok;
    }

    QString OpenFileName(const QString& caption, const QString& filter) override {
        return QFileDialog::getOpenFileName(Parent(), caption, QString(), filter);
    }

    QString OpenFileNameIn(const QString& caption, const QString& filter,
                           const QString& folder) override {
        return QFileDialog::getOpenFileName(Parent(), caption, folder, filter);
    }

    QString SaveFileName(const QString& caption, const QString& filter) override {
        return QFileDialog::getSaveFileName(Parent(), caption, QString(), filter);
    }

    QString SaveFileNameWithDefaults(const QString& caption, const QString& filter,
                                     const QString& initialName,
                                     const QString& defaultSuffix) override {
        QFileDialog dialog(Parent(), caption, initialName, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The suffix is added before the overwrite question, so it asks about the real file.
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }

    QPointer<QWidget> parent;

private:
    // The boxes carry the parent window's title, as platform message boxes do.
    QString Title() const { return parent ? parent->windowTitle() : QString(); }
    QWidget* Parent() const { return parent.data(); }

    static QMessageBox::Icon ToQt(Icon icon) {
        switch (icon) {
            case Icon::Error:
                return QMessageBox::Critical;
            case Icon::Warning:
                return QMessageBox::Warning;
            case Icon::Information:
                return QMessageBox::Information;
            case Icon::Question:
                return QMessageBox::Question;
            case Icon::None:
                break;
        }
        return QMessageBox::NoIcon;
    }
};

QtPrompts& QtInstance() {
    static QtPrompts prompts;
    return prompts;
}

UserPrompts* installed = nullptr;

}  // namespace

UserPrompts& Prompts() {
    return installed ? *installed : QtInstance();
}

void SetPrompts(UserPrompts* prompts) {
    installed = prompts;
}

void SetPromptParent(QWidget* parent) {
    QtInstance().parent = parent;
}
