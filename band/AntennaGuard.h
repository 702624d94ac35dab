#pragma once

#include "band/AntennaFile.h"
#include "band/AntennaRules.h"
#include "panel/SwitchSeam.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>

class BandFollower;

// Puts the antenna rules to work on the GUI thread. It reads antennas.ini
// (again whenever it changes, and right before a word is judged when it
// changed since), judges every word the panel's keys or the broker would
// queue (the seam's word check), tells the keys what they are not for (the
// seam's key advice), keeps band follow to the rules, and says at once when
// the switch comes to a band, or transmits, on an antenna that is not for
// it. The band is band follow's: without it only the receive-only marks
// count. Without rules in the file it sets nothing at the seam, so the
// panel works as it does without it.
class AntennaGuard : public QObject
{
    Q_OBJECT

public:
    AntennaGuard(SwitchSeam *seam, const QString &path, QObject *parent = nullptr);
    ~AntennaGuard() override;

    // Reads the file and puts its rules to work.
    void start();

    QString path() const { return file.path(); }
    const AntennaRules &rules() const { return current; }
    // The file's lines that are ignored, as said.
    QStringList problems() const { return problemsSaid; }

    // Band follow, or none: its band and its sources' transmitting count,
    // and it selects and learns only what the rules allow.
    void follow(BandFollower *follower);

    // The rules as the operator set them in Antenna Bands, which showed
    // editedFrom: what the operator changed there is written to the file
    // (its other lines, and a hand edit made meanwhile, kept) and used at
    // once; false, with the reason, when the file could not be written (the
    // rules then hold for this run).
    bool save(const AntennaRules &edited, const AntennaRules &editedFrom, QString *error);

signals:
    // Said at once and loudly (status bar, screen reader, broker, log).
    void warning(const QString &text);
    // Lines of the file that are ignored, or a file that cannot be read: in
    // a few words and whole. Said once for each new set of problems.
    void problem(const QString &shortText, const QString &detail);
    // The rules, the band or what the keys are told changed.
    void changed();

private:
    void reload();
    // Reads the file again if it changed since it was last read.
    void refreshFromFile();
    void use(const AntennaRules &rules);
    void watchFile();
    SwitchSeam::WordVerdict check(CommandWord word);
    void advise();
    void bandChanged();
    void notForBand(int band, int position, int splitTx);
    void lookAtTransmitting();
    int band() const;
    // The band a word is judged on: the radio's latest reading's, or band
    // follow's while that names none.
    int bandNow() const;
    bool transmitting() const;

    struct Stamp
    {
        bool exists = false;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Stamp &other) const
        {
            return exists == other.exists && size == other.size && modified == other.modified;
        }
    };
    Stamp stampNow() const;

    SwitchSeam *seam;
    AntennaFile file;
    AntennaRules current;
    Stamp readStamp;
    QStringList problemsSaid;
    QFileSystemWatcher watcher;
    QPointer<BandFollower> follower;
    QString transmitWarned;   // the warning said for the transmission under way
};
