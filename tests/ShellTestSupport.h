#pragma once
// Helpers of the window tests: a private settings folder for the process,
// answering modal dialogs, and waiting for the event loop.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace velkin::testing {

// Saved window frames go to a folder of this process alone, chosen before any
// settings are read.
inline const std::string settingsFolder = [] {
    const std::string folder = (std::filesystem::temp_directory_path()
                                / ("velkin-config-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString()))
                                   .string();
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return folder;
}();

// Runs the event loop until `done` holds or `milliseconds` pass; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Lets the event loop run the turns that are queued now.
inline void settle(int turns = 3)
{
    for (int i = 0; i < turns; ++i)
        QApplication::processEvents();
}

// Watches for modal dialogs and answers each with `answer`, recording the texts it showed.
class DialogAnswerer {
public:
    using Answer = std::function<void(QDialog&)>;

    explicit DialogAnswerer(Answer answer) : answer_(std::move(answer))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog == last_)
                return;
            last_ = dialog;
            QString shown;
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                shown = box->text() + QStringLiteral("\n") + box->informativeText();
            else
                for (QLabel* label : dialog->findChildren<QLabel*>())
                    shown += label->text() + QStringLiteral("\n");
            texts.push_back(shown);
            answer_(*dialog);
        });
        timer_.start();
    }

    // Answers: press the button whose text is `title`, or close the dialog.
    static Answer press(const QString& title)
    {
        return [title](QDialog& dialog) {
            for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
                if (button->text().remove(QLatin1Char('&')) == title) {
                    button->click();
                    return;
                }
            dialog.reject();
        };
    }
    static Answer reject()
    {
        return [](QDialog& dialog) { dialog.reject(); };
    }

    std::vector<QString> texts;

private:
    Answer answer_;
    QTimer timer_;
    QPointer<QDialog> last_;
};

// Answers a file dialog with a path: the folder, then the name typed into the
// name field, as a user would.
inline DialogAnswerer::Answer choose(const std::filesystem::path& path)
{
    return [path](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) {
            dialog.reject();
            return;
        }
        files->setDirectory(QString::fromStdString(path.parent_path().string()));
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QString::fromStdString(path.filename().string()));
        else
            files->selectFile(QString::fromStdString(path.string()));
        QMetaObject::invokeMethod(files, "accept");
    };
}

} // namespace velkin::testing
