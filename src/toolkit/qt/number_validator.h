#pragma once

#include <QIntValidator>
#include <QValidator>

// Whole non-negative numbers only: a point or comma is refused outright
// rather than left to the integer validator.
class number_validator : public QValidator {
    Q_OBJECT

public:
    explicit number_validator(QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    QIntValidator int_validator_;
};
