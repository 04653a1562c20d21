#pragma once
// Velkin's one settings file: Velkin/Velkin.ini in the user's configuration
// folder ($XDG_CONFIG_HOME), shared by every feature that remembers something.
// It is read without writing anything, and written whole through OutputFile (a
// link keeps pointing at its file): a change that cannot be written leaves the
// file as it was.
#include <QMap>
#include <QStringList>
#include <QVariant>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace velkin::Settings {

// The settings as read for one use; changes are written back when it goes.
class Store {
public:
    explicit Store(std::filesystem::path file);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    bool contains(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    // The key and every key below it.
    void remove(const QString& key);
    void beginGroup(const QString& group);
    void endGroup();
    // The keys directly in the current group.
    QStringList childKeys() const;

    // Writes the changes now; the reason when the file could not take them all.
    std::optional<std::string> write();

private:
    QString full(const QString& key) const;

    std::filesystem::path file_;
    QMap<QString, QVariant> read_;
    QMap<QString, QVariant> values_;
    QString group_;
    std::string unreadable_;  // why the file could not be read, if so
};

// The settings file, opened for one use.
std::unique_ptr<Store> open();

} // namespace velkin::Settings
