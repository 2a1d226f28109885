#include "shell/CharacterMenu.h"

#include "catalogue/Error.h"
#include "components/Trayicon.h"
#include "shell/ErrorBox.h"
#include "shell/Unit1.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace vestor {

const QString CharacterMenu::kLastPickName = QStringLiteral("Последний подбор");

namespace {

const QString kTitle = QStringLiteral("Персонажи");

QLineEdit *field(const QWidget &form, const char *name)
{
    return name ? form.findChild<QLineEdit *>(QLatin1String(name)) : nullptr;
}

QComboBox *combo(const QWidget &form, const char *name) { return form.findChild<QComboBox *>(QLatin1String(name)); }

} // namespace

CharacterMenu::CharacterMenu(TForm1 &form)
    : QObject(&form), storePath(CharacterStore::defaultPath()), form_(form), menu_(new QMenu(&form))
{
    menu_->setObjectName(QStringLiteral("CharacterMenu"));
    QAction *save = menu_->addAction(QStringLiteral("Сохранить персонажа..."));
    save->setObjectName(QStringLiteral("SaveCharacter"));
    QMenu *list = menu_->addMenu(kTitle);
    list->setObjectName(QStringLiteral("Characters"));
    QAction *remove = menu_->addAction(QStringLiteral("Удалить персонажа..."));
    remove->setObjectName(QStringLiteral("DeleteCharacter"));

    connect(save, &QAction::triggered, this, [this] { runHandler([this] { saveCharacter(); }); });
    connect(remove, &QAction::triggered, this, [this] { runHandler([this] { deleteCharacter(); }); });
    connect(menu_, &QMenu::aboutToShow, this, [this, list, remove] {
        // Another window may have saved or deleted characters meanwhile.
        store().refresh();
        reportProblem();
        fillCharacters(list);
        remove->setEnabled(!store().names().isEmpty());
    });

    // The window's background: right clicks that no control takes arrive here.
    form.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&form, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { menu_->popup(form_.mapToGlobal(at)); });
    form.TrayIcon1->PopupMenu = menu_;

    askName = [this] {
        return QInputDialog::getText(&form_, QStringLiteral("Сохранить персонажа"), QStringLiteral("Имя персонажа:"))
            .trimmed();
    };
    confirmReplace = [this](const QString &name) {
        return QMessageBox::question(&form_, kTitle, QStringLiteral("Персонаж «%1» уже есть. Заменить его?").arg(name),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    chooseToDelete = [this](const QStringList &names) {
        bool ok = false;
        const QString name = QInputDialog::getItem(&form_, QStringLiteral("Удалить персонажа"),
                                                   QStringLiteral("Персонаж:"), names, 0, false, &ok);
        return ok ? name : QString();
    };
}

CharacterMenu::~CharacterMenu() = default;

CharacterStore &CharacterMenu::store()
{
    if (!store_) {
        store_ = std::make_unique<CharacterStore>(storePath);
        reportProblem();
    }
    return *store_;
}

void CharacterMenu::reportProblem()
{
    const QString problem = store_->takeProblem();
    // After the current event: the menu or the pick that asked goes on first.
    if (!problem.isEmpty())
        QTimer::singleShot(0, this, [problem] { showError(problem); });
}

Character CharacterMenu::inputs() const
{
    Character c;
    c.race = form_.raceText();
    c.level = combo(form_, "ComboBox2")->currentText();
    c.money = form_.moneyText();
    for (const Stat &s : stats()) {
        if (s.hasCurrent())
            c.have[s.index - 1] = form_.currentText(s.index);
        c.need[s.index - 1] = form_.neededText(s.index);
    }
    return c;
}

void CharacterMenu::fill(const Character &c)
{
    // Through the lists' own change handlers, so the queries follow.
    combo(form_, "ComboBox1")->setCurrentText(c.race);
    form_.ComboBox1Change();
    combo(form_, "ComboBox2")->setCurrentText(c.level);
    form_.ComboBox2Change();
    field(form_, "Edit2")->setText(c.money);
    for (const Stat &s : stats()) {
        if (QLineEdit *have = field(form_, s.currentField))
            have->setText(c.have[s.index - 1]);
        field(form_, s.neededField)->setText(c.need[s.index - 1]);
    }
}

void CharacterMenu::rememberLastPick()
{
    try {
        store().setLastPick(inputs());
    } catch (const Error &e) {
        // A pick must not fail for want of a place to keep it; say so once.
        if (!std::exchange(lastPickFailureShown_, true))
            showError(e.message());
    }
}

void CharacterMenu::saveCharacter()
{
    const QString name = askName();
    if (name.isEmpty())
        return;
    store().refresh();
    if (store().character(name) && !confirmReplace(name))
        return;
    store().save(name, inputs());
}

void CharacterMenu::deleteCharacter()
{
    store().refresh();
    const QString name = chooseToDelete(store().names());
    if (!name.isEmpty())
        store().remove(name);
}

void CharacterMenu::fillCharacters(QMenu *submenu)
{
    submenu->clear();
    auto add = [this, submenu](const QString &text, const Character &c) {
        connect(submenu->addAction(text), &QAction::triggered, this, [this, c] { runHandler([&] { fill(c); }); });
    };
    if (const auto &last = store().lastPick())
        add(kLastPickName, *last);
    const QStringList names = store().names();
    if (store().lastPick() && !names.isEmpty())
        submenu->addSeparator();
    for (const QString &name : names)
        add(name, *store().character(name));
    if (submenu->isEmpty())
        submenu->addAction(QStringLiteral("Нет сохранённых персонажей"))->setEnabled(false);
}

} // namespace vestor
