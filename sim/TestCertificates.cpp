#include "sim/TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace {
constexpr int toolTimeoutMs = 30000;
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess tool;
    tool.setWorkingDirectory(directory.path());
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("openssl"), arguments);
    if (!tool.waitForFinished(toolTimeoutMs) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        error = QStringLiteral("openssl failed: %1 %2").arg(tool.errorString(), QString::fromLocal8Bit(tool.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::make()
{
    if (!directory.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    QFile extensions(directory.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write("subjectAltName=DNS:localhost\n") < 0) {
        error = QStringLiteral("cannot write %1").arg(extensions.fileName());
        return false;
    }
    extensions.close();
    const QStringList ecKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    made = run(QStringList{"req", "-x509"} + ecKey
               + QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=TQX-5R test CA",
                             "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                             "keyUsage=critical,keyCertSign,cRLSign"})
           && run(QStringList{"req"} + ecKey
                  + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"})
           && run({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                   "server.crt", "-days", "2", "-extfile", "server.ext"});
    return made;
}
