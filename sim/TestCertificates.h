#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A certificate authority made for one test run and a server certificate it
// signed for "localhost" only, not for its address (EC keys, valid for two days), made by
// openssl in a folder of their own that goes with the object. For the
// broker's TLS, a web server in front of it, and a browser told to trust the
// CA.
class TestCertificates
{
public:
    TestCertificates() = default;
    TestCertificates(const TestCertificates &) = delete;
    TestCertificates &operator=(const TestCertificates &) = delete;

    // False (and errorString()) when openssl fails.
    bool make();
    bool isMade() const { return made; }

    QString caFile() const { return directory.filePath(QStringLiteral("ca.crt")); }
    QString certificateFile() const { return directory.filePath(QStringLiteral("server.crt")); }
    QString keyFile() const { return directory.filePath(QStringLiteral("server.key")); }
    QString errorString() const { return error; }

private:
    bool run(const QStringList &arguments);

    QTemporaryDir directory;
    QString error;
    bool made = false;
};
