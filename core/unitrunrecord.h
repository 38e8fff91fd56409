#pragma once

#include "core/runimage.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What one unit's update run left behind: which unit it was, what it ran
// before and after, how the run ended and with which text, which image was
// written and by which program. One of these is one line of the run history
// and one row of a report.
struct UnitRunRecord
{
    // Results, as texts: the history may hold results a later program adds.
    static const QString kSucceeded; // "succeeded"
    static const QString kFailed; // "failed"
    static const QString kLost; // "lost"
    static const QString kNotUpdated; // "not updated": completed, came back unchanged
    static const QString kNotFound; // "not found": named, never answered (kvx-update)
    static const QString kNotStarted; // "not started": interrupted first (kvx-update)
    // "interrupted": the program was ended while the unit was being written
    // (a Windows console closed, log-off, shut-down); lastText says how far
    // it got.
    static const QString kInterrupted;

    QDateTime run; // when the run this unit belonged to began
    QDateTime started; // when the unit's own run began; invalid if it never did
    QDateTime ended;
    QString address;
    QString model;
    QString nickname;
    QString versionBefore; // as the card showed it: "1.02 (build0110)"
    QString versionAfter; // as the unit came back; empty when unknown
    QString result;
    QString lastText; // the last progress text
    RunImage image;
    QString program; // "kvx-updater 1.0"

    QJsonObject toJson() const;
    // Takes whatever the object holds; false (and the record untouched) when
    // it is not a record at all (no address or no result).
    static bool fromJson(const QJsonObject &object, UnitRunRecord *record);

    // "2024-05-01T14:03:07.250+02:00": local time with its offset, to the
    // millisecond; empty for an invalid time.
    static QString timeText(const QDateTime &time);
    static QDateTime timeFromText(const QString &text);

    // The names of the fields, in the order reports list them.
    static const QStringList &fieldNames();
    // The record's fields as texts, in the order of fieldNames().
    QStringList fieldTexts() const;
};
