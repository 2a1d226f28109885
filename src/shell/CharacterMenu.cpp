#include "shell/CharacterMenu.h"

#include "catalogue/Error.h"
#include "shell/ErrorBox.h"

#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace vestor {

const QString CharacterMenu::kLastPickName = QStringLiteral("Последний подбор");

namespace {

const QString kTitle = QStringLiteral("Персонажи");

} // namespace

CharacterMenu::CharacterMenu(QWidget &window, std::function<PickInputs()> inputs,
                             std::function<void(const PickInputs &)> setInputs)
    : QObject(&window), storePath(CharacterStore::defaultPath()), window_(window), inputs_(std::move(inputs)),
      setInputs_(std::move(setInputs)), menu_(new QMenu(&window))
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
    window.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&window, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { menu_->popup(window_.mapToGlobal(at)); });

    askName = [this] {
        return QInputDialog::getText(&window_, QStringLiteral("Сохранить персонажа"), QStringLiteral("Имя персонажа:"))
            .trimmed();
    };
    confirmReplace = [this](const QString &name) {
        return QMessageBox::question(&window_, kTitle,
                                     QStringLiteral("Персонаж «%1» уже есть. Заменить его?").arg(name),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    chooseToDelete = [this](const QStringList &names) {
        bool ok = false;
        const QString name = QInputDialog::getItem(&window_, QStringLiteral("Удалить персонажа"),
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

void CharacterMenu::rememberLastPick()
{
    try {
        store().setLastPick(inputs_());
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
    store().save(name, inputs_());
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
    auto add = [this, submenu](const QString &text, const PickInputs &c) {
        connect(submenu->addAction(text), &QAction::triggered, this, [this, c] { runHandler([&] { setInputs_(c); }); });
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
