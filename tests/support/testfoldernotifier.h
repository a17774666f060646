#pragma once

#include "filestore/folderwatch.h"
#include "filestore/platform.h"

#include <QSet>

#include <functional>
#include <memory>

// Folder notifications for tests, made by the factory that a Probe hands out: the system's
// (counted), ones that accept every folder and report only what the test reports through the
// probe, or a platform that refuses every folder.
class TestFolderNotifier final : public FolderNotifier
{
public:
    enum class Mode { system, silent, refusing };
    struct Probe
    {
        Mode mode = Mode::system;
        int reported = 0;
        TestFolderNotifier *made = nullptr; // the newest one
        void report(const QString &folder) const
        {
            if (made && made->changed)
                made->changed(folder);
        }
    };

    static std::function<std::unique_ptr<FolderNotifier>()> factory(const std::shared_ptr<Probe> &probe)
    {
        return [probe] { return std::unique_ptr<FolderNotifier>(new TestFolderNotifier(probe)); };
    }

    explicit TestFolderNotifier(std::shared_ptr<Probe> probe) : m_probe(std::move(probe))
    {
        m_probe->made = this;
        m_system->changed = [this](const QString &folder) {
            ++m_probe->reported;
            if (changed)
                changed(folder);
        };
    }
    ~TestFolderNotifier() override { m_probe->made = m_probe->made == this ? nullptr : m_probe->made; }

    bool add(const QString &folder) override
    {
        if (m_probe->mode == Mode::silent)
            m_silent.insert(folder);
        return m_probe->mode == Mode::silent || (m_probe->mode == Mode::system && m_system->add(folder));
    }
    void remove(const QString &folder) override
    {
        if (m_system->isWatching(folder))
            m_system->remove(folder);
        m_silent.remove(folder);
    }
    bool isWatching(const QString &folder) const override
    {
        return m_silent.contains(folder) || m_system->isWatching(folder);
    }

private:
    std::shared_ptr<Probe> m_probe;
    std::unique_ptr<FolderNotifier> m_system = makeSystemFolderNotifier();
    QSet<QString> m_silent;
};
