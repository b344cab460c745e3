#pragma once

#include <QByteArray>

// Reply bodies shaped like the hosting API's, for timing their handling.
// Two variants of each differ in every value shown, so that handling one
// after the other really changes the widgets.
namespace ReplyBodies {

QByteArray status(int players, int variant);
QByteArray maps(int count, int variant);
QByteArray resources(int variant);

} // namespace ReplyBodies
