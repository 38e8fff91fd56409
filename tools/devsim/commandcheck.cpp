#include "commandcheck.h"

QByteArray exactStartCommand(quint32 size)
{
    return QByteArrayLiteral("SET UPDATE/SYSTEM:STA SIZE:") + QByteArray::number(size, 16);
}

QByteArray exactDataHeader(quint32 size, quint32 offset)
{
    return QByteArrayLiteral("SET UPDATE/SYSTEM:BIN SIZE:") + QByteArray::number(size, 16)
            + QByteArrayLiteral(" offset:") + QByteArray::number(offset, 16)
            + QByteArrayLiteral(" bin:");
}

namespace {

bool sameWord(const QByteArray &a, const char *b)
{
    return qstricmp(a.constData(), b) == 0;
}

void compareExact(const QByteArray &got, const QByteArray &exact, DeviceCommand *command)
{
    if (got != exact)
        command->violations << QStringLiteral("command %1 differs from %2")
                                       .arg(describeBytes(got), describeBytes(exact));
}

} // namespace

DeviceCommand judgeCommand(const DeviceFrame &frame)
{
    DeviceCommand command;
    command.violations = frame.violations;

    if (frame.kind == DeviceFrame::Data) {
        command.kind = DeviceCommand::Data;
        command.size = frame.size;
        command.offset = frame.offset;
        compareExact(frame.text, exactDataHeader(frame.size, frame.offset), &command);
        return command;
    }

    // Recognised by its words, so that a stray blank or a capital still yields
    // the command the client meant, with the difference on record.
    const QList<QByteArray> words = frame.text.simplified().split(' ');
    if (words.size() == 2 && sameWord(words[0], "GET") && sameWord(words[1], "DEVICE/NAME")) {
        command.kind = DeviceCommand::GetName;
        compareExact(frame.text, QByteArrayLiteral("GET DEVICE/NAME"), &command);
    } else if (words.size() == 2 && sameWord(words[0], "GET")
               && sameWord(words[1], "DEVICE/VER/SYSTEM")) {
        command.kind = DeviceCommand::GetVersion;
        compareExact(frame.text, QByteArrayLiteral("GET DEVICE/VER/SYSTEM"), &command);
    } else if (words.size() == 2 && sameWord(words[0], "SET")
               && sameWord(words[1], "UPDATE/SYSTEM:END")) {
        command.kind = DeviceCommand::End;
        compareExact(frame.text, QByteArrayLiteral("SET UPDATE/SYSTEM:END"), &command);
    } else if (words.size() == 3 && sameWord(words[0], "SET")
               && sameWord(words[1], "UPDATE/SYSTEM:STA") && words[2].size() > 5
               && sameWord(words[2].left(5), "SIZE:")
               && parseHexField(words[2].mid(5), &command.size)) {
        command.kind = DeviceCommand::Start;
        compareExact(frame.text, exactStartCommand(command.size), &command);
    } else {
        command.kind = DeviceCommand::Unknown;
        command.violations << QStringLiteral("unknown command %1").arg(describeBytes(frame.text));
    }
    return command;
}
