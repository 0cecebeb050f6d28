#pragma once

#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

// A window with the three editors as the main window places them, shown and active: the editors' keys are
// shortcuts, which only an active window receives.
inline std::unique_ptr<QWidget> ShowEditorWindow(EditorSet& editors)
{
    auto window = std::make_unique<QWidget>();
    window->resize(1200, 900);
    for (int i = 0; i < 3; ++i) {
        editors[size_t(i)] = new CDHwpCtrl;
        if (!editors[size_t(i)]->Create(QRect(0, 0, 1000, 800), window.get(), 900 + i))
            return nullptr;
    }
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get()) ? std::move(window) : nullptr;
}

// Writes `content` to `name` in `dir`; the file's path, or none when it cannot be written.
inline QString WriteTestFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}
