#include "toolkit/qt/number_validator.h"

#include <QLocale>

number_validator::number_validator(QObject* parent)
    : QValidator(parent)
{
    int_validator_.setBottom(0);
    // Digits only: a locale's group separator (a space in French) would let
    // through text that no longer reads as a number.
    int_validator_.setLocale(QLocale::c());
}

QValidator::State number_validator::validate(QString& input, int& pos) const
{
    if (input.contains(QLatin1Char(',')) || input.contains(QLatin1Char('.')))
        return Invalid;
    return int_validator_.validate(input, pos);
}

void number_validator::fixup(QString& input) const
{
    input.remove(QLatin1Char('.'));
    input.remove(QLatin1Char(','));
    int_validator_.fixup(input);
}
