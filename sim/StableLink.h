#pragma once

#include <QString>

// A fixed name for the virtual switch's device, the way udev keeps a
// /dev/serial/by-id/ name for a USB adapter: a symbolic link pointed at the
// device when it appears and removed when it goes. The link is removed when
// this object goes, too.
class StableLink
{
public:
    explicit StableLink(QString path);
    ~StableLink();
    StableLink(const StableLink &) = delete;
    StableLink &operator=(const StableLink &) = delete;

    const QString &path() const { return linkPath; }

    // Points the link at device, replacing an older link in one step.
    bool pointAt(const QString &device);
    void remove();

private:
    QString linkPath;
};
