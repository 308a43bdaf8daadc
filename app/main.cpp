#include "Dialog.h"
#include "Resources.h"
#include "SoftwareUpdater.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    qInfo().noquote() << "ORBELIN Vn" << SoftwareUpdater::StringToSoftwareVersion(
        SoftwareUpdater::runningProgramName(), QStringLiteral("ORBELIN_Vn_"), QString());
    Resources::init();
    QApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    Dialog dialog;
    dialog.show();
    return app.exec();
}
