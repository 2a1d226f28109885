#pragma once

// A main window over a test item table, and a catch for its error box.

#include "TestTable.h"
#include "shell/ErrorBox.h"
#include "shell/Unit1.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace shelltest {

// Collects what the error box would show while it lives.
struct ErrorBoxCatch {
    QStringList texts;
    QStringList captions;
    ErrorBoxCatch()
    {
        vestor::setErrorSink([this](const QString &caption, const QString &text) {
            captions << caption;
            texts << text;
        });
    }
    ~ErrorBoxCatch() { vestor::setErrorSink({}); }
};

template <typename T = QLineEdit> T *child(const QWidget &w, const QString &name)
{
    T *found = w.findChild<T *>(name);
    EXPECT_NE(found, nullptr) << qPrintable(name);
    return found;
}

// The window after its creation over `items`, with no splash wait.
struct Form {
    testdbf::ProgramDir dir;
    std::unique_ptr<vestor::TForm1> window;

    explicit Form(const std::vector<testdbf::Item> &items)
    {
        dir.write(items);
        window = std::make_unique<vestor::TForm1>();
        window->FormCreate(dir.program(), 0);
    }
    QLineEdit *edit(const QString &name) const { return child(*window, name); }
    QComboBox *combo(const QString &name) const { return child<QComboBox>(*window, name); }
    QString memo() const { return child<QPlainTextEdit>(*window, QStringLiteral("Memo1"))->toPlainText(); }
    void set(const QString &field, const QString &text) const { edit(field)->setText(text); }
    void pick() const;
};

} // namespace shelltest

#include <QPushButton>

inline void shelltest::Form::pick() const { child<QPushButton>(*window, QStringLiteral("Button1"))->click(); }
