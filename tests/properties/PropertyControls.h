#pragma once

#include "Controls.h"
#include "forms/controls/BoundGrid.h"
#include "forms/controls/CaptionButton.h"
#include "forms/controls/NavigationBar.h"
#include "platform/gui/PictureBox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

// The controls of form_immobili that the tests drive, found by their names.
struct PropertyControls {
    explicit PropertyControls(const QWidget& window) : m_window(window) {}
    const QWidget& m_window;
    CONTROL(QComboBox, Combo1);
    CONTROL(QComboBox, Combo2);
    CONTROL(QComboBox, Combo3);
    CONTROL(QComboBox, Combo4);
    CONTROL(CaptionButton, Command1);
    CONTROL(CaptionButton, Command2);
    CONTROL(CaptionButton, Command3);
    CONTROL(CaptionButton, Command4);
    CONTROL(CaptionButton, Command5);
    CONTROL(CaptionButton, Command6);
    CONTROL(CaptionButton, Command7);
    CONTROL(CaptionButton, Command8);
    CONTROL(CaptionButton, Command9);
    CONTROL(CaptionButton, Command10);
    CONTROL(CaptionButton, Command12);
    CONTROL(CaptionButton, Command13);
    CONTROL(CaptionButton, Command14);
    CONTROL(CaptionButton, Command15);
    CONTROL(CaptionButton, Command16);
    CONTROL(BoundGrid, DBGrid1);
    CONTROL(BoundGrid, DBGrid2);
    CONTROL(NavigationBar, Data1);
    CONTROL(QGroupBox, Frame6);
    CONTROL(QLabel, Label1);
    CONTROL(QLabel, Label2);
    CONTROL(QLabel, Label3);
    CONTROL(QLabel, Label5);
    CONTROL(QLabel, Label6);
    CONTROL(QLabel, Label7);
    CONTROL(QLabel, Label9);
    CONTROL(QLabel, Label10);
    CONTROL(QLabel, Label12);
    CONTROL(QLabel, Label14);
    CONTROL(QLabel, Label15);
    CONTROL(QLabel, Label16);
    CONTROL(QLabel, Label17);
    CONTROL(QLabel, Label33);
    CONTROL(PictureBox, Picture1);
    CONTROL(PictureBox, Picture2);
    CONTROL(PictureBox, Picture3);
    CONTROL(PictureBox, Picture4);
    CONTROL(PictureBox, Picture5);
    CONTROL(PictureBox, Picture6);
    CONTROL(PictureBox, Picture7);
    CONTROL(PictureBox, Picture8);
    CONTROL(QLineEdit, Text1);
    CONTROL(QLineEdit, Text2);
    CONTROL(QLineEdit, Text3);
    CONTROL(QPlainTextEdit, Text4);
    CONTROL(QPlainTextEdit, Text5);
    CONTROL(QLineEdit, Text9);
    CONTROL(QLineEdit, Text10);
    CONTROL(QLineEdit, Text13);
    CONTROL(QLineEdit, Text15);
    CONTROL(QLineEdit, Text16);
    CONTROL(QLineEdit, Text17);
    CONTROL(QLineEdit, Text18);
    CONTROL(QLineEdit, Text19);
    CONTROL(QLineEdit, Text20);
    CONTROL(QLineEdit, Text21);
    CONTROL(QLineEdit, Text6);
    CONTROL(QLineEdit, Text7);
    CONTROL(QPlainTextEdit, Text8);
    CONTROL(QPlainTextEdit, Text11);
    CONTROL(QLineEdit, Text12);
    CONTROL(QLineEdit, Text14);
    CONTROL(QLabel, Label18);
};

// The controls of form_stp that the tests read.
struct SheetControls {
    explicit SheetControls(const QWidget& window) : m_window(window) {}
    const QWidget& m_window;
    CONTROL(PictureBox, Image1);
    CONTROL(PictureBox, Image2);
    CONTROL(QLabel, Label1);
    CONTROL(QLabel, Label2);
    CONTROL(QLabel, Label3);
    CONTROL(QLabel, Label5);
    CONTROL(QLabel, Label6);
    CONTROL(QLabel, Label7);
    CONTROL(QLabel, Label9);
    CONTROL(QLabel, Label10);
    CONTROL(QLabel, Label12);
    CONTROL(QLabel, Label14);
    CONTROL(PictureBox, Picture1);
    CONTROL(QPlainTextEdit, Text1);
};
