#pragma once
// Thelpp: the help window, showing readme.txt from the working directory.
#include <QWidget>

class Thelpp : public QWidget {
    Q_OBJECT
public:
    explicit Thelpp(QWidget *parent = nullptr);
    // Clears the text, then loads readme.txt or puts the fixed line. Raises on failure.
    void FillHelpText();
    void Button1Click();
};

extern Thelpp *helpp;
