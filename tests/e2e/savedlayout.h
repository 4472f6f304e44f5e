#pragma once

#include <QDockWidget>
#include <QMainWindow>
#include <QTest>

// Shows the main window with the layout of an earlier one that held one dock
// of the given name in the area, shown or (as after the operator closed it)
// hidden. The dock itself is left for the module to make. False when a window
// could not be shown or the layout not restored.
inline bool showWithSavedLayout(QMainWindow& mw, const QString& dockName, Qt::DockWidgetArea area,
                                bool hidden)
{
    QByteArray state;
    {
        QMainWindow saved;
        saved.setCentralWidget(new QWidget(&saved));
        auto* dock = new QDockWidget(&saved);
        dock->setObjectName(dockName);
        saved.addDockWidget(area, dock);
        saved.resize(1000, 700);
        saved.show();
        if (!QTest::qWaitForWindowExposed(&saved))
            return false;
        dock->setVisible(!hidden);
        state = saved.saveState();
    }
    mw.setCentralWidget(new QWidget(&mw));
    mw.resize(1000, 700);
    if (!mw.restoreState(state))
        return false;
    mw.show();
    return QTest::qWaitForWindowExposed(&mw);
}
