#pragma once

#include <QByteArray>

// Qt 5.15's JSON parser loses the memory of an array or object that a
// repeated key in the same object replaces, so text from the broker with a
// repeated key is turned away before it is parsed.
namespace JsonKeys {

// True when some object in the text names a key twice. Text that is not
// JSON may yield either answer; the parser rejects it anyway.
bool repeatsAKey(const QByteArray &json);

} // namespace JsonKeys
