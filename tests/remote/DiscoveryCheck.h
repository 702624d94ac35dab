#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

// Runs check_discovery.py (Home Assistant's view of discovery configs, with
// Jinja2 for the templates) on configs by topic and a few state messages.
// Its answer: "problems", "rendered" values by unique id, "commands" by option.
QJsonObject checkDiscovery(const QString &prefix, const QString &base, const QMap<QString, QByteArray> &configs,
                           const QList<QByteArray> &states);
