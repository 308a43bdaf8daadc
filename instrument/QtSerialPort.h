#pragma once

#include <QObject>
#include <QString>

class QSerialPort;

// The controller board's commands used outside the counting run. Replies to the ones
// marked "reports" carry a number.
namespace BoardCommand {
constexpr char Version[] = "$A#VER\n";                // reports the firmware version
constexpr char SlideInit[] = "$X#STAGE INIT\n";       // slide stage to its home switch
constexpr char SlideInsert[] = "$X#STAGE INSERT\n";   // slide to the first counting field
constexpr char SlideEject[] = "$X#STAGE EJECT\n";     // slide out to the user
constexpr char FocusInit[] = "$Z#STAGE INIT\n";       // focus stage to its home switch
constexpr char FocusReference[] = "$Z#REF\n";         // reports the focus reference, steps
constexpr char FocusSlope[] = "$Z#SLOPE\n";           // reports the tilt, steps per field
constexpr char LightCalibration[] = "$A#LIGHT CAL\n"; // reports the LED level, 0-100
constexpr char LedOff[] = "$A#LED 0\n";               // "$A#LED n": LED level n, 0-100
// Moves and homing may take seconds before the board answers.
constexpr unsigned int MoveTimeoutMs = 5000;
// The eject of the count and settings screens.
constexpr unsigned int EjectTimeoutMs = 1000;
} // namespace BoardCommand

// The process-wide serial link to the controller board (115200 baud, 8N1, no flow
// control). A command is one line "$U#TEXT[ NUMBER]\n" (U: A board and LED, X slide
// stage, Z focus stage); its reply is "$OK#U#TEXT[#VALUE]" ended by CR or LF, with NG in
// place of OK when the board refuses it. The link is used by one thread at a time: whoever
// takes it over releases the old instance and builds its own in its own thread.
class QtSerialPort : public QObject
{
    Q_OBJECT

public:
    static QtSerialPort *instance();
    static void release();

    // Finds the board among the "/dev/ttyUSB*" devices by asking each for its version,
    // the port that answered last first.
    bool open();
    bool isOpen() const;
    // The instrument path of the open port ("/dev/ttyUSB0"), or empty.
    QString portName() const;

    // Writes one command line and returns the reply line that belongs to it; an empty
    // text when none came within timeoutMs or the link is gone. Lines that belong to
    // other commands (late replies, line noise) are skipped.
    QString sendToSerialPortFast(const QString &command, unsigned int timeoutMs);

    // Tries the command up to three times until the reply reports OK. With value, the
    // reply must also carry a number, which is stored there.
    bool sendCommand(const QString &command, unsigned int timeoutMs, int *value = nullptr);

    // The reply's second and third characters read OK (in any case).
    static bool replyOk(const QString &reply);
    // The reply's number: four "#"-separated parts, the last a decimal integer.
    static bool replyValue(const QString &reply, int *value);
    // The reply names the command's unit and text.
    static bool replyBelongsTo(const QString &reply, const QString &command);

    // How long the probe waits for a device's version reply.
    static constexpr unsigned int ProbeTimeoutMs = 1000;

private:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool openPort(const QString &instrumentPath);
    void closePort();
    QString takeLine();

    static QtSerialPort *object;
    QSerialPort *m_Port;
    QString m_PortName;
    QByteArray m_Pending;
};
