#include "DiscoveryCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

QJsonObject checkDiscovery(const QString &prefix, const QString &base, const QMap<QString, QByteArray> &configs,
                           const QList<QByteArray> &states)
{
    QJsonObject byTopic;
    for (auto it = configs.begin(); it != configs.end(); ++it)
        byTopic.insert(it.key(), QString::fromUtf8(it.value()));
    QJsonArray stateList;
    for (const QByteArray &state : states)
        stateList.append(QString::fromUtf8(state));
    QProcess checker;
    checker.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TQX5R_CHECK_DISCOVERY)});
    checker.write(QJsonDocument(QJsonObject{{"prefix", prefix}, {"base", base}, {"configs", byTopic},
                                            {"states", stateList}})
                      .toJson());
    checker.closeWriteChannel();
    if (!checker.waitForFinished(30000) || checker.exitCode() != 0)
        return {{"problems", QJsonArray{QString("the checker failed: ") + checker.readAllStandardError()}}};
    return QJsonDocument::fromJson(checker.readAllStandardOutput()).object();
}
