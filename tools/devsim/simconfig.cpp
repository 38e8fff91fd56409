#include "simconfig.h"

#include <QJsonArray>
#include <QJsonDocument>

const QStringList &knownModels()
{
    static const QStringList models{ QStringLiteral("RT-6C"), QStringLiteral("VK-3F"),
                                     QStringLiteral("VK-5F"), QStringLiteral("VL-3F"),
                                     QStringLiteral("ZP-9E") };
    return models;
}

bool parseLineEnd(const QString &text, UnitBehaviour::LineEnd *lineEnd)
{
    if (text == QLatin1String("crlf"))
        *lineEnd = UnitBehaviour::CrLf;
    else if (text == QLatin1String("cr"))
        *lineEnd = UnitBehaviour::Cr;
    else if (text == QLatin1String("none"))
        *lineEnd = UnitBehaviour::None;
    else if (text == QLatin1String("nul"))
        *lineEnd = UnitBehaviour::Nul;
    else if (text == QLatin1String("crlfnul"))
        *lineEnd = UnitBehaviour::CrLfNul;
    else
        return false;
    return true;
}

UnitConfig defaultUnit(const QHostAddress &address, int index)
{
    UnitConfig unit;
    unit.address = address;
    unit.model = knownModels().at(index % knownModels().size());
    unit.nickname = QStringLiteral("Unit %1").arg(index + 1);
    // The address in the node part keeps UUIDs distinct and stable across runs.
    unit.uuid = QStringLiteral("63041253-1019-2006-1228-%1")
                        .arg(address.toIPv4Address(), 12, 16, QLatin1Char('0'));
    return unit;
}

namespace {

bool readAddress(const QJsonValue &value, QHostAddress *address)
{
    if (!value.isString())
        return false;
    QHostAddress parsed;
    // Only the plain dotted form: "10.77.0" would silently mean 10.77.0.0.
    if (!parsed.setAddress(value.toString()) || parsed.protocol() != QAbstractSocket::IPv4Protocol
        || parsed.toString() != value.toString())
        return false;
    *address = parsed;
    return true;
}

// Reads the known keys of one object and rejects unknown ones: a misspelt fault
// name would otherwise silently test a healthy unit.
class Reader
{
public:
    Reader(const QJsonObject &object, const QString &where, QString *error)
        : m_object(object), m_where(where), m_error(error)
    {
    }

    template<typename T>
    void number(const char *key, T *out)
    {
        m_known << QLatin1String(key);
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return;
        if (!v.isDouble())
            fail(key, "a number");
        else
            *out = static_cast<T>(v.toDouble());
    }

    void flag(const char *key, bool *out)
    {
        m_known << QLatin1String(key);
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return;
        if (!v.isBool())
            fail(key, "true or false");
        else
            *out = v.toBool();
    }

    void text(const char *key, QString *out)
    {
        m_known << QLatin1String(key);
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return;
        if (!v.isString())
            fail(key, "a string");
        else
            *out = v.toString();
    }

    QJsonValue take(const char *key)
    {
        m_known << QLatin1String(key);
        return m_object.value(QLatin1String(key));
    }

    void fail(const char *key, const char *expected)
    {
        if (m_error->isEmpty())
            *m_error = QStringLiteral("%1: \"%2\" must be %3")
                               .arg(m_where, QLatin1String(key), QLatin1String(expected));
    }

    bool finish()
    {
        const QStringList keys = m_object.keys();
        for (const QString &key : keys) {
            if (!m_known.contains(key) && m_error->isEmpty())
                *m_error = QStringLiteral("%1: unknown key \"%2\"").arg(m_where, key);
        }
        return m_error->isEmpty();
    }

private:
    QJsonObject m_object;
    QString m_where;
    QString *m_error;
    QStringList m_known;
};

bool readFaults(const QJsonObject &object, const QString &where, UnitFaults *faults, QString *error)
{
    Reader r(object, where, error);
    r.flag("wrongPassword", &faults->wrongPassword);
    const QJsonValue ngData = r.take("ngData");
    if (ngData.isObject()) {
        Reader d(ngData.toObject(), where + QStringLiteral(".ngData"), error);
        d.number("index", &faults->ngDataIndex);
        d.number("times", &faults->ngDataTimes);
        if (!d.finish())
            return false;
        if (faults->ngDataTimes > 0 && faults->ngDataIndex < 0)
            d.fail("index", "0 or more");
    } else if (!ngData.isUndefined() && !ngData.isNull()) {
        r.fail("ngData", "an object {\"index\": k, \"times\": n}");
    }
    r.flag("ngStart", &faults->ngStart);
    r.flag("ngEnd", &faults->ngEnd);
    r.flag("ngQuery", &faults->ngQuery);
    r.number("closeAtOffset", &faults->closeAtOffset);
    r.flag("silentAfterLogin", &faults->silentAfterLogin);
    r.number("silentAtOffset", &faults->silentAtOffset);
    r.flag("refuse", &faults->refuse);
    r.number("splitReplies", &faults->splitReplies);
    r.number("splitPauseMs", &faults->splitPauseMs);
    r.flag("coalesceNotify", &faults->coalesceNotify);
    r.number("slowFinalAckMs", &faults->slowFinalAckMs);
    r.number("faultConnections", &faults->faultConnections);
    r.flag("bootFails", &faults->bootFails);
    return r.finish();
}

bool readUnit(const QJsonObject &object, int index, UnitConfig *unit, QString *error)
{
    const QString where = QStringLiteral("units[%1]").arg(index);
    QHostAddress address;
    if (!readAddress(object.value(QLatin1String("address")), &address)) {
        *error = where + QStringLiteral(": \"address\" must be an IPv4 address in dotted form");
        return false;
    }
    *unit = defaultUnit(address, index);
    unit->model = QStringLiteral("ZP-9E"); // a file names every other model it wants
    Reader r(object, where, error);
    r.take("address");
    r.text("model", &unit->model);
    r.text("nickname", &unit->nickname);
    r.text("version", &unit->version);
    r.text("build", &unit->build);
    r.text("uuid", &unit->uuid);
    r.text("password", &unit->password);
    r.number("writeDelayMs", &unit->writeDelayMs);
    r.number("silentAfterSeconds", &unit->silentAfterSeconds);
    r.number("renameAfterSeconds", &unit->renameAfterSeconds);
    r.text("newNickname", &unit->newNickname);
    r.flag("promptOnConnect", &unit->behaviour.promptOnConnect);
    r.flag("repromptAfterFailure", &unit->behaviour.repromptAfterFailure);
    QString lineEnd = QStringLiteral("crlf");
    r.text("lineEnd", &lineEnd);
    if (!parseLineEnd(lineEnd, &unit->behaviour.lineEnd))
        r.fail("lineEnd", "\"crlf\", \"cr\", \"none\", \"nul\" or \"crlfnul\"");
    QString refusal = QStringLiteral("failed");
    r.text("refusal", &refusal);
    static const QStringList refusals{ QStringLiteral("failed"), QStringLiteral("prompt"),
                                       QStringLiteral("silence"), QStringLiteral("hangUp") };
    if (refusals.contains(refusal))
        unit->behaviour.refusal = UnitBehaviour::Refusal(refusals.indexOf(refusal));
    else
        r.fail("refusal", "\"failed\", \"prompt\", \"silence\" or \"hangUp\"");
    r.number("replyDelayMs", &unit->behaviour.replyDelayMs);
    r.flag("ackWords", &unit->behaviour.ackWords);
    r.number("startDelayMs", &unit->behaviour.startDelayMs);
    r.number("verdictDelayMs", &unit->behaviour.verdictDelayMs);
    r.flag("dropInputOnFailure", &unit->behaviour.dropInputOnFailure);
    r.number("rebootSeconds", &unit->rebootSeconds);
    const QJsonValue faults = r.take("faults");
    if (faults.isObject()) {
        if (!readFaults(faults.toObject(), where + QStringLiteral(".faults"), &unit->faults, error))
            return false;
    } else if (!faults.isUndefined() && !faults.isNull()) {
        r.fail("faults", "an object");
    }
    return r.finish();
}

} // namespace

bool parseSimConfig(const QByteArray &json, SimConfig *config, QString *error)
{
    QString message;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        *error = parseError.error != QJsonParseError::NoError
                ? QStringLiteral("not valid JSON: %1 at byte %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset)
                : QStringLiteral("the configuration must be a JSON object");
        return false;
    }
    SimConfig result;
    Reader r(doc.object(), QStringLiteral("configuration"), &message);
    r.flag("foreign", &result.foreign);
    r.number("flood", &result.flood);
    r.text("interface", &result.interface);
    r.text("makerDomain", &result.makerDomain);
    const QJsonValue foreignAddress = r.take("foreignAddress");
    if (!foreignAddress.isUndefined() && !readAddress(foreignAddress, &result.foreignAddress))
        r.fail("foreignAddress", "an IPv4 address in dotted form");
    const QJsonValue units = r.take("units");
    if (!units.isArray())
        r.fail("units", "an array");
    if (!r.finish()) {
        *error = message;
        return false;
    }
    const QJsonArray array = units.toArray();
    for (int i = 0; i < array.size(); ++i) {
        UnitConfig unit;
        if (!array.at(i).isObject()) {
            *error = QStringLiteral("units[%1]: must be an object").arg(i);
            return false;
        }
        if (!readUnit(array.at(i).toObject(), i, &unit, &message)) {
            *error = message;
            return false;
        }
        for (const UnitConfig &other : qAsConst(result.units)) {
            if (other.address == unit.address) {
                *error = QStringLiteral("units[%1]: address %2 is used twice")
                                 .arg(i)
                                 .arg(unit.address.toString());
                return false;
            }
        }
        result.units << unit;
    }
    *config = result;
    return true;
}
