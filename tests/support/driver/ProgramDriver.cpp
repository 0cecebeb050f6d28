// Loaded into the real program by Qt as a generic plug-in (QT_QPA_GENERIC_PLUGINS=vellorindriver:PLACE, with
// this folder's parent on QT_PLUGIN_PATH), it walks the program to one of the places where a box, a dialog or
// a menu runs an event loop of its own, and prints "driver: open PLACE" once that loop runs. It reaches the
// program through Qt alone: widgets and actions by their object names, clicks and keys as posted events, so
// that whatever opens a loop runs from the program's event loop and not inside the driver's timer.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGenericPlugin>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

namespace {

QWidget* visibleWidget(const QString& name)
{
    const QList<QWidget*> all = QApplication::allWidgets();
    for (QWidget* widget : all) {
        if (widget->objectName() == name && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// The editor on the visible tab.
QWidget* visibleEditor()
{
    const QList<QWidget*> all = QApplication::allWidgets();
    for (QWidget* widget : all) {
        if (widget->objectName().startsWith(QLatin1String("editor")) && widget->inherits("CDHwpCtrl") &&
            widget->isVisible())
            return widget;
    }
    return nullptr;
}

// What the recovery places type into the editors 900, 901 and 902, a key at a time.
const char* const kTypedWork[] = {"문제: 방정식 x^2-1=0의 양의 근은?\n① 1 ② 2", "정답 ①",
                                  "해설: (x-1)(x+1)=0\n따라서 x=1"};

// An editor by its object name, shown or not.
QWidget* editorNamed(const QString& name)
{
    const QList<QWidget*> all = QApplication::allWidgets();
    for (QWidget* widget : all) {
        if (widget->objectName() == name && widget->inherits("CDHwpCtrl"))
            return widget;
    }
    return nullptr;
}

QWidget* pageOf(const QString& editorName)
{
    QWidget* editor = editorNamed(editorName);
    return editor ? editor->findChild<QWidget*>(QStringLiteral("pageView")) : nullptr;
}

void post(QWidget* widget, int key)
{
    QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

class ProgramDriver : public QObject
{
public:
    explicit ProgramDriver(const QString& place) : m_place(place)
    {
        if (!plan(place)) {
            say(QStringLiteral("no such place ") + place);
            return;
        }
        connect(&m_tick, &QTimer::timeout, this, &ProgramDriver::step);
        m_tick.start(20);
    }

private:
    using Step = std::function<bool()>;

    static void say(const QString& line)
    {
        std::printf("driver: %s\n", line.toUtf8().constData());
        std::fflush(stdout);
    }

    // The texts of the buttons of the box or dialog in front, as the writer reads them.
    static void sayButtons()
    {
        QWidget* top = QApplication::activeModalWidget();
        if (!top)
            return;
        QStringList texts;
        const QList<QAbstractButton*> buttons = top->findChildren<QAbstractButton*>();
        for (QAbstractButton* button : buttons) {
            if (button->isVisible() && !button->text().isEmpty())
                texts << button->text();
        }
        say(QStringLiteral("buttons ") + texts.join(u'|'));
    }

    void step()
    {
        if (m_next >= m_steps.size())
            return;
        if (m_steps[m_next]()) {
            ++m_next;
            m_tries = 0;
            if (m_next == m_steps.size()) {
                m_tick.stop();
                sayButtons();
                say(QStringLiteral("open ") + m_place);
            }
        } else if (++m_tries == 1500) {
            // Ends the program, so that the test sees why at once instead of waiting for its own limit.
            say(QStringLiteral("stuck at step %1 of %2").arg(m_next + 1).arg(m_place));
            std::_Exit(70);
        }
    }

    // Steps that bring the program to a place; each is tried on every tick until it reports that it is done.
    bool plan(const QString& place)
    {
        const auto modal = [](const char* className) -> Step {
            return [className] {
                QWidget* top = QApplication::activeModalWidget();
                return top && top->inherits(className) && top->isVisible();
            };
        };
        const auto logIn = [this](const QString& password) {
            m_steps.push_back([password] {
                QWidget* dialog = visibleWidget(QStringLiteral("loginDialog"));
                if (!dialog)
                    return false;
                dialog->findChild<QLineEdit*>(QStringLiteral("idEdit"))->setText(QStringLiteral("editor"));
                dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(password);
                QMetaObject::invokeMethod(dialog->findChild<QAbstractButton*>(QStringLiteral("loginButton")), "click",
                                          Qt::QueuedConnection);
                return true;
            });
        };
        const auto loggedIn = [this, &logIn] {
            logIn(QStringLiteral("right"));
            m_steps.push_back([] {
                QWidget* search = visibleWidget(QStringLiteral("searchButton"));
                return !visibleWidget(QStringLiteral("loginDialog")) && search && search->isEnabled() &&
                       visibleEditor();
            });
        };
        const auto click = [this](const QString& name) {
            m_steps.push_back([name] {
                auto* button = qobject_cast<QAbstractButton*>(visibleWidget(name));
                if (!button || !button->isEnabled())
                    return false;
                QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
                return true;
            });
        };
        const auto trigger = [this](const QString& name) {
            m_steps.push_back([name] {
                QWidget* editor = visibleEditor();
                QAction* action = editor ? editor->findChild<QAction*>(name) : nullptr;
                if (!action)
                    return false;
                QMetaObject::invokeMethod(action, "trigger", Qt::QueuedConnection);
                return true;
            });
        };
        // Answers the open box with `button`, and remembers it, so that the next step waits for another one.
        const auto answerBox = [this](QMessageBox::StandardButton button) {
            m_steps.push_back([this, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || !box->button(button))
                    return false;
                m_answered = box;
                QMetaObject::invokeMethod(box->button(button), "click", Qt::QueuedConnection);
                return true;
            });
        };
        const auto anotherBox = [this] {
            m_steps.push_back([this] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return box && box != m_answered && box->isVisible();
            });
        };
        const auto openSchoolSearch = [this, &loggedIn, &modal] {
            loggedIn();
            m_steps.push_back([] {
                QWidget* school = visibleWidget(QStringLiteral("schoolEdit"));
                if (school)
                    post(school, Qt::Key_Space);
                return school != nullptr;
            });
            m_steps.push_back(modal("CSearchSchoolDlg"));
        };

        // The editor's dialogs: the action that opens each, and its class.
        for (const auto& [name, action, className] :
             {std::tuple{"formulaDialog", "insertFormulaAction", "FormulaDlg"},
              std::tuple{"tableDialog", "insertTableAction", "TableCreateDlg"},
              std::tuple{"paragraphDialog", "paragraphAction", "ParagraphDlg"},
              std::tuple{"colourDialog", "colourAction", "QColorDialog"},
              std::tuple{"pictureFileDialog", "insertPictureAction", "QFileDialog"},
              std::tuple{"documentFileDialog", "openDocumentAction", "QFileDialog"},
              std::tuple{"saveAsFileDialog", "saveAsAction", "QFileDialog"}}) {
            if (place == QLatin1String(name)) {
                loggedIn();
                trigger(QLatin1String(action));
                m_steps.push_back(modal(className));
                return true;
            }
        }
        // The window's commands whose first box is the place: the server has been scripted to ask or to fail.
        for (const auto& [name, button] :
             {std::pair{"overwriteQuestion", "saveButton"}, std::pair{"saveFailed", "saveButton"},
              std::pair{"deleteQuestion", "deleteButton"}, std::pair{"loadFailed", "searchButton"}}) {
            if (place == QLatin1String(name)) {
                loggedIn();
                click(QLatin1String(button));
                m_steps.push_back(modal("QMessageBox"));
                return true;
            }
        }
        // Work that is not saved: typed into the three editors, with a number chosen in the panel.
        if (place == QLatin1String("typeWork")) {
            loggedIn();
            m_steps.push_back([] {
                auto* number = qobject_cast<QComboBox*>(visibleWidget(QStringLiteral("numberCombo")));
                QWidget* pages[3] = {};
                for (int i = 0; i < 3; ++i) {
                    pages[i] = pageOf(QStringLiteral("editor%1").arg(900 + i));
                    if (!pages[i] || !number)
                        return false;
                }
                number->setCurrentIndex(3);
                for (int i = 0; i < 3; ++i) {
                    QWidget* page = pages[i];
                    for (const QChar c : QString::fromUtf8(kTypedWork[i])) {
                        const bool enter = c == u'\n';
                        const int key = enter ? int(Qt::Key_Return) : int(Qt::Key_unknown);
                        const QString text = enter ? QStringLiteral("\r") : QString(c);
                        QCoreApplication::postEvent(page, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
                        QCoreApplication::postEvent(page, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
                    }
                }
                return true;
            });
            // The keys have been taken in by now.
            m_steps.push_back([] { return true; });
            return true;
        }
        // The work offered back at the start: answered Yes, then told as the editors and the panel hold it.
        if (place == QLatin1String("recoverWork") || place == QLatin1String("declineWork")) {
            loggedIn();
            // The panel keeps its choices in the settings as it goes: another choice here shows whether the
            // panel's fields came back with the work.
            m_steps.push_back([] {
                auto* number = qobject_cast<QComboBox*>(visibleWidget(QStringLiteral("numberCombo")));
                if (number)
                    number->setCurrentIndex(0);
                return number != nullptr;
            });
            answerBox(place == QLatin1String("recoverWork") ? QMessageBox::Yes : QMessageBox::No);
            m_steps.push_back([] {
                if (QApplication::activeModalWidget())
                    return false;
                for (int i = 0; i < 3; ++i) {
                    const QString name = QStringLiteral("editor%1").arg(900 + i);
                    QWidget* editor = editorNamed(name);
                    if (!editor)
                        return false;
                    editor->findChild<QAction*>(QStringLiteral("selectAllAction"))->trigger();
                    QGuiApplication::clipboard()->clear();
                    editor->findChild<QAction*>(QStringLiteral("copyAction"))->trigger();
                    say(QStringLiteral("text %1 %2")
                            .arg(name, QString::fromLatin1(QGuiApplication::clipboard()->text().toUtf8().toBase64())));
                }
                auto* number = qobject_cast<QComboBox*>(visibleWidget(QStringLiteral("numberCombo")));
                say(QStringLiteral("field number %1").arg(number ? number->currentIndex() : -1));
                return true;
            });
            return true;
        }
        // The question before unsaved work goes, and the offer of the work a killed run left.
        if (place == QLatin1String("discardQuestion")) {
            loggedIn();
            m_steps.push_back([] {
                QWidget* page = pageOf(QStringLiteral("editor900"));
                if (page)
                    QCoreApplication::postEvent(
                        page, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
                return page != nullptr;
            });
            click(QStringLiteral("resetButton"));
            m_steps.push_back(modal("QMessageBox"));
            return true;
        }
        if (place == QLatin1String("recoveryOffer")) {
            loggedIn();
            m_steps.push_back(modal("QMessageBox"));
            return true;
        }
        if (place == QLatin1String("versionWarning")) {
            m_steps.push_back(modal("QMessageBox"));
        } else if (place == QLatin1String("sessionFailed")) {
            logIn(QStringLiteral("right"));
            m_steps.push_back(modal("QMessageBox"));
        } else if (place == QLatin1String("loginFailed")) {
            logIn(QStringLiteral("wrong"));
            m_steps.push_back(modal("QMessageBox"));
        } else if (place == QLatin1String("schoolSearch")) {
            openSchoolSearch();
        } else if (place == QLatin1String("schoolSearchError")) {
            openSchoolSearch();
            click(QStringLiteral("okButton")); // nothing chosen yet
            m_steps.push_back(modal("QMessageBox"));
        } else if (place == QLatin1String("deleteResult")) {
            loggedIn();
            click(QStringLiteral("deleteButton"));
            answerBox(QMessageBox::Yes);
            anotherBox();
        } else if (place == QLatin1String("pictureMenu")) {
            loggedIn();
            m_steps.push_back([] {
                QImage picture(120, 120, QImage::Format_RGB32);
                picture.fill(Qt::darkBlue);
                QGuiApplication::clipboard()->setImage(picture);
                return true;
            });
            trigger(QStringLiteral("pasteAction"));
            // The picture's place on the page is the editor's business: ask for the menu along a grid until
            // one point lies on the picture.
            m_steps.push_back([this] {
                // Beside the picture the page's own menu opens.
                if (QWidget* popup = QApplication::activePopupWidget()) {
                    if (popup->objectName() == QLatin1String("pictureMenu"))
                        return true;
                    popup->close();
                    return false;
                }
                QWidget* editor = visibleEditor();
                QWidget* page = nullptr;
                for (QWidget* child : editor ? editor->findChildren<QWidget*>() : QList<QWidget*>()) {
                    if (child->inherits("PageView"))
                        page = child;
                }
                if (!page)
                    return false;
                const int columns = qMax(1, page->width() / 40);
                const QPoint at(20 + 40 * (m_probe % columns), 20 + 40 * (m_probe / columns));
                ++m_probe;
                if (at.y() < page->height())
                    QCoreApplication::postEvent(
                        page, new QContextMenuEvent(QContextMenuEvent::Mouse, at, page->mapToGlobal(at)));
                return false;
            });
        } else if (place == QLatin1String("pageMenu")) {
            loggedIn();
            // The menu key on the page.
            m_steps.push_back([] {
                QWidget* page = pageOf(QStringLiteral("editor900"));
                if (page)
                    post(page, Qt::Key_Menu);
                return page != nullptr;
            });
            m_steps.push_back([] {
                QWidget* popup = QApplication::activePopupWidget();
                return popup && popup->objectName() == QLatin1String("pageMenu");
            });
        } else {
            return false;
        }
        return true;
    }

    QString m_place;
    QTimer m_tick;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    int m_tries = 0;
    int m_probe = 0;
    QPointer<QMessageBox> m_answered;
};

class ProgramDriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "ProgramDriver.json")

public:
    QObject* create(const QString& key, const QString& place) override
    {
        if (key.compare(QLatin1String("vellorindriver"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new ProgramDriver(place);
    }
};

} // namespace

#include "ProgramDriver.moc"
