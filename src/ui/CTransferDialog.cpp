#include "ui/CTransferDialog.h"

CTransferDialog::CTransferDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Transferfunction");
}

void CTransferDialog::refreshLayers() {}
