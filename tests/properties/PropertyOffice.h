#pragma once

#include "FakeClock.h"
#include "FakePrinting.h"
#include "PropertyControls.h"
#include "PropertyWindow.h"
#include "RecordSource.h"
#include "ReportFiles.h"
#include "ScriptedDialogs.h"
#include "TestContext.h"
#include "TestDatabase.h"

#include <QDir>
#include <QTest>
#include <memory>

// An office with three properties (the last with two visits and a photo), two
// requests, and the property register open on it.
struct Office : TestOffice {
    QList<qint64> keys;
    std::unique_ptr<PropertyWindow> window;

    Office() {
        const QStringList fields{"proprietario", "telefono", "zona", "tipologia", "mq", "motivo", "noteimmobile"};
        keys << db.insert("immobile", fields, {"Rossi", "051 111", "Centro", "Villa", 200, "vendita", "casa d'epoca"});
        keys << db.insert("immobile", fields, {"Studio D'Amico", "051 222", "Navile", "Bilocale", 55, "affitto", ""});
        keys << db.insert("immobile", fields, {"Verdi", "051 333", "Saragozza", "Attico", 120, "vendita", "terrazzo"});
        db.insert("visite", {"idimmobile", "nome", "data"}, {keys[2], "Anna", "01/12/2026"});
        db.insert("visite", {"idimmobile", "nome", "data"}, {keys[2], "Bruno", "02/12/2026"});
        db.insert("visite", {"idimmobile", "nome", "data"}, {keys[0], "Carla", "03/12/2026"});
        db.insert("foto", {"idimmobile", "foto"}, {keys[2], db.folder().writePicture("casa.png", Qt::blue)});
        const QStringList request{"nome", "cognome", "tipo", "mq", "motivo"};
        db.insert("richiesta", request, {"Anna", "Neri", "Villa", 150, "vendita"});
        db.insert("richiesta", request, {"Bruno", "Gialli", "Bilocale", 50, "affitto"});
        QDir().mkpath(db.folder().file("foto"));
        if (!ReportFiles::placeMissing(db.folder().path()))
            qFatal("cannot place the reports");
        open();
    }

    void open() { window = std::make_unique<PropertyWindow>(context); }
    PropertyControls ui() const { return PropertyControls(*window); }
    RecordSource* source(const char* name) const { return window->findChild<RecordSource*>(QString::fromLatin1(name)); }
    QString owner() const { return ui().Text1->text(); }
};

inline void type(QWidget* field, const QString& text) {
    field->setFocus();
    // A field shows the start of its value: typing goes on after it, as after a click at its end.
    if (auto* line = qobject_cast<QLineEdit*>(field); line && !line->hasSelectedText())
        line->end(false);
    QTest::keyClicks(field, text);
}

