#pragma once

// The saved-characters menu of the main window: on its background and on
// the tray icon. Nothing is filled in until the player chooses a character.

#include "shell/Characters.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace vestor {

class CharacterMenu : public QObject
{
    Q_OBJECT
public:
    // The menu opens on `window`'s background; `inputs` reads the window's
    // inputs and `setInputs` fills them in as the player would.
    CharacterMenu(QWidget &window, std::function<PickInputs()> inputs,
                  std::function<void(const PickInputs &)> setInputs);
    ~CharacterMenu() override;

    QMenu *menu() const { return menu_; }
    // Read on first use; a damaged file is reported once, after the current event.
    CharacterStore &store();
    // Where the store lives; set before first use to keep it elsewhere.
    QString storePath;

    // Keeps the inputs of the pick about to run as the last pick.
    void rememberLastPick();

    // Dialogs, replaceable in tests. askName returns an empty name on
    // cancel; chooseToDelete an empty name on cancel.
    std::function<QString()> askName;
    std::function<bool(const QString &name)> confirmReplace;
    std::function<QString(const QStringList &names)> chooseToDelete;

    static const QString kLastPickName;

private:
    // Shows what the store found wrong with its file, once.
    void reportProblem();
    void saveCharacter();
    void deleteCharacter();
    void fillCharacters(QMenu *submenu);

    QWidget &window_;
    std::function<PickInputs()> inputs_;
    std::function<void(const PickInputs &)> setInputs_;
    QMenu *menu_;
    std::unique_ptr<CharacterStore> store_;
    bool lastPickFailureShown_ = false;
};

} // namespace vestor
