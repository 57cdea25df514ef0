// placeholder
#pragma once
#include <QDialog>
class SimpleDialog : public QDialog {};
