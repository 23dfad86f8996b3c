// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The operation windows' file dialog: its filters as the layouts give them,
// and that each filter lists the files its patterns name.
#include "QOpenDialog.h"
#include "UiTestHelpers.h"

#include <QFile>
#include <QListView>
#include <QTemporaryDir>

class OpenDialogTest : public QObject {
    Q_OBJECT

private slots:
    void filtersKeepNamesAndPatterns() {
        QCOMPARE(TOpenDialog::NameFilters(QStringLiteral("All files|*")),
                 QStringList{QStringLiteral("All files (*)")});
        QCOMPARE(TOpenDialog::NameFilters(QStringLiteral(
                     "All files|*|Text files|*.txt; *.doc;l *.rtf|Archives|*.zip; *.arc")),
                 (QStringList{QStringLiteral("All files (*)"),
                              QStringLiteral("Text files (*.txt *.doc l *.rtf)"),
                              QStringLiteral("Archives (*.zip *.arc)")}));
    }

    void eachFilterListsWhatItNames() {
        QTemporaryDir Dir;
        for (const char* Name : {"a.txt", "b.doc", "c.rtf", "d.bin", "l"}) {
            QFile File(Dir.filePath(QLatin1String(Name)));
            QVERIFY(File.open(QIODevice::WriteOnly));
        }
        TOpenDialog Dialog(nullptr, QStringLiteral("All files|*|Text files|*.txt; *.doc;l *.rtf"));
        QCOMPARE(Dialog.selectedNameFilter(), QStringLiteral("All files (*)"));
        Dialog.setDirectory(Dir.path());
        Dialog.show();
        auto* View = Dialog.findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(View != nullptr);
        const auto Listed = [View] {
            QStringList Names;
            for (int Row = 0; Row < View->model()->rowCount(View->rootIndex()); ++Row)
                Names << View->model()->index(Row, 0, View->rootIndex()).data().toString();
            Names.sort();
            return Names;
        };
        QVERIFY(WaitFor([&] { return Listed().size() == 5; }));
        Dialog.selectNameFilter(Dialog.nameFilters().at(1));
        QVERIFY(WaitFor([&] { return Listed().size() == 4; }));
        QCOMPARE(Listed(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.doc"),
                                        QStringLiteral("c.rtf"), QStringLiteral("l")}));
    }
};

QTEST_MAIN(OpenDialogTest)
#include "OpenDialogTest.moc"
