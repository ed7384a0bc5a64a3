// watch: search again and again and tell what appeared, changed and went.

#include "commands.h"

#include "commandline.h"
#include "modulejson.h"
#include "modulereport.h"
#include "output.h"
#include "session.h"
#include "signalwatcher.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {

// A module is gone once this many searches in a row did not hear it: one lost reply is not a departure.
constexpr int MissedToBeGone = 2;
const QLatin1String DefaultInterval("5");

struct Known {
    QJsonObject parameters; // as export writes them, with where the module was seen
    int missed = 0;
};

struct Change {
    QString field;
    QJsonValue from;
    QJsonValue to;
};

QVector<Change> changesBetween(const QJsonObject &before, const QJsonObject &after)
{
    QVector<Change> found;
    QStringList keys = before.keys() + after.keys();
    keys.removeDuplicates();
    // In the order of the module form, then anything else.
    const QStringList order = reportKeys();
    std::sort(keys.begin(), keys.end(),
              [&order](const QString &a, const QString &b) { return order.indexOf(a) < order.indexOf(b); });
    for (const QString &key : qAsConst(keys)) {
        if (before.value(key) != after.value(key))
            found.append({key, before.value(key), after.value(key)});
    }
    return found;
}

QString shownValue(const QJsonValue &value)
{
    return value.isUndefined() ? QStringLiteral("nothing") : jsonValueText(value);
}

class EventPrinter
{
public:
    explicit EventPrinter(bool json)
        : json(json)
    {
    }

    void appeared(const QJsonObject &module) const
    {
        print(QStringLiteral("appeared"), module.value(QStringLiteral("mac")).toString(),
              QStringLiteral("%1 \"%2\" ip %3 from %4")
                  .arg(module.value(QStringLiteral("mode")).toString(), module.value(QStringLiteral("name")).toString(),
                       module.value(QStringLiteral("ip")).toString(),
                       module.value(QStringLiteral("source-ip")).toString()),
              {{QStringLiteral("module"), module}});
    }

    void changed(const QString &mac, const QVector<Change> &changes) const
    {
        QStringList texts;
        QJsonArray list;
        for (const Change &change : changes) {
            texts << QStringLiteral("%1: %2 -> %3").arg(change.field, shownValue(change.from), shownValue(change.to));
            QJsonObject entry {{QStringLiteral("field"), change.field}};
            if (!change.from.isUndefined())
                entry.insert(QStringLiteral("from"), change.from);
            if (!change.to.isUndefined())
                entry.insert(QStringLiteral("to"), change.to);
            list.append(entry);
        }
        print(QStringLiteral("changed"), mac, texts.join(QStringLiteral("; ")), {{QStringLiteral("changes"), list}});
    }

    void gone(const QString &mac) const
    {
        print(QStringLiteral("gone"), mac, QStringLiteral("did not answer %1 searches in a row").arg(MissedToBeGone),
              {{QStringLiteral("missed-searches"), MissedToBeGone}});
    }

private:
    void print(const QString &event, const QString &mac, const QString &text, const QJsonObject &details) const
    {
        const QString time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        if (!json) {
            printLine(QStringLiteral("%1 %2 %3: %4").arg(time, event, mac, text));
            return;
        }
        QJsonObject line = details;
        line.insert(QStringLiteral("time"), time);
        line.insert(QStringLiteral("event"), event);
        line.insert(QStringLiteral("mac"), mac);
        printLine(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
    }

    bool json;
};

} // namespace

int watchCommand(const QStringList &arguments)
{
    CommandLine commandLine(
        QStringLiteral("watch"), QString(),
        QStringLiteral("Searches every interval (a search never starts before the last one ended) and prints one\n"
                       "line per event: a module appeared, changed (each field old -> new, where it answered from\n"
                       "included) or is gone (it missed %1 searches in a row). --json prints one JSON object per\n"
                       "line. Runs until Ctrl-C (SIGINT) or SIGTERM, then ends with exit status 0.\n")
                .arg(MissedToBeGone)
            + frameKeySourcesHelp());
    Session::addOptions(commandLine);
    commandLine.addOption(
        QCommandLineOption(QStringLiteral("interval"),
                           QStringLiteral("Seconds from the start of one search to the start of the next (default %1).")
                               .arg(DefaultInterval),
                           QStringLiteral("seconds"), DefaultInterval));
    commandLine.addOption(jsonOption(QStringLiteral("one event a line")));
    if (const std::optional<int> status = commandLine.parse(arguments))
        return *status;
    if (!commandLine.arguments().isEmpty())
        return reportFailure(
            commandLine.usageError(QStringLiteral("unexpected argument \"%1\"").arg(commandLine.arguments().first())));
    const std::optional<int> interval = parseSeconds(commandLine.value(QStringLiteral("interval")));
    if (!interval)
        return reportFailure(
            commandLine.usageError(QStringLiteral("--interval needs seconds from 0.001 to 3600; got \"%1\"")
                                       .arg(commandLine.value(QStringLiteral("interval")))));

    // Before the port is bound: Ctrl-C from here on ends the watch cleanly.
    bool stopping = false;
    QEventLoop pause;
    SignalWatcher stopSignals;
    QObject::connect(&stopSignals, &SignalWatcher::stopRequested, &pause, [&] {
        stopping = true;
        pause.quit();
    });

    Session session;
    if (const std::optional<Failure> failure = session.open(commandLine))
        return reportFailure(*failure);
    const EventPrinter events(commandLine.isSet(QStringLiteral("json")));
    QMap<QString, Known> known;
    QTimer next;
    next.setSingleShot(true);
    QObject::connect(&next, &QTimer::timeout, &pause, &QEventLoop::quit);
    while (!stopping) {
        QElapsedTimer started;
        started.start();
        FoundModules found;
        if (const std::optional<Failure> failure = session.search(&found))
            return reportFailure(*failure);
        if (stopping)
            break; // what this search saw may be cut short: nothing is told of it
        QSet<QString> heard;
        for (const FoundModule &module : session.annotated(found)) {
            const QString mac = module.record.macAddress;
            heard.insert(mac);
            const QJsonObject parameters = exportJson(module);
            const auto it = known.find(mac);
            if (it == known.end()) {
                events.appeared(parameters);
                known.insert(mac, {parameters, 0});
                continue;
            }
            const QVector<Change> changes = changesBetween(it->parameters, parameters);
            if (!changes.isEmpty())
                events.changed(mac, changes);
            *it = {parameters, 0};
        }
        for (auto it = known.begin(); it != known.end();) {
            if (!heard.contains(it.key()) && ++it->missed >= MissedToBeGone) {
                events.gone(it.key());
                it = known.erase(it);
            } else {
                ++it;
            }
        }
        next.start(int(qMax<qint64>(0, *interval - started.elapsed())));
        pause.exec();
    }
    return ExitStatus::Success;
}
