#include "Dialog.h"
#include "Resources.h"

#include <QApplication>
#include <QCursor>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    Resources::init();
    QApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    Dialog dialog;
    dialog.show();
    return app.exec();
}
