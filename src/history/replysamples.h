#pragma once

#include "core/api/servicereply.h"
#include "core/history/historysample.h"

#include <optional>

// What the history keeps of one finished query to the hosting API.
namespace ReplySamples {

// A status query's sample: the state, players, limit and map of a usable
// reply; "Нет связи" for any other end (no contact, a failed certificate
// check, no answer in time, HTTP 400 or more, no JSON object, an error).
History::StatusSample status(const QString &server, qint64 time, const HttpExchange &exchange);

// A resources query's sample, from a usable reply only.
std::optional<History::ResourceSample> resources(const QString &server, qint64 time, const HttpExchange &exchange);

} // namespace ReplySamples
