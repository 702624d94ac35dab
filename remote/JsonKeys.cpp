#include "remote/JsonKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QString>
#include <QVector>

namespace JsonKeys {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A key as the parser will see it: escapes such as \u006e resolved.
QString keyText(const QByteArray &quoted)
{
    if (!quoted.contains('\\'))
        return QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
    // An array holding one string cannot repeat a key.
    const QJsonArray single = QJsonDocument::fromJson('[' + quoted + ']').array();
    return single.size() == 1 ? single.first().toString() : QString::fromUtf8(quoted);
}

} // namespace

bool repeatsAKey(const QByteArray &json)
{
    // One set of keys per open container; arrays get none.
    QVector<QSet<QString>> open;
    QVector<bool> isObject;
    const int size = json.size();
    for (int i = 0; i < size; ++i) {
        const char c = json.at(i);
        if (c == '"') {
            int end = i + 1;
            while (end < size && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (end >= size)
                return false;
            int next = end + 1;
            while (next < size && isSpace(json.at(next)))
                ++next;
            if (next < size && json.at(next) == ':' && !isObject.isEmpty() && isObject.last()) {
                const QString key = keyText(json.mid(i, end - i + 1));
                if (open.last().contains(key))
                    return true;
                open.last().insert(key);
            }
            i = end;
        } else if (c == '{' || c == '[') {
            open.append(QSet<QString>());
            isObject.append(c == '{');
        } else if (c == '}' || c == ']') {
            if (isObject.isEmpty() || isObject.last() != (c == '}'))
                return false;
            open.removeLast();
            isObject.removeLast();
        }
    }
    return false;
}

} // namespace JsonKeys
