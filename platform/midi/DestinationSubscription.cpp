#include "platform/midi/DestinationSubscription.h"

#include "platform/midi/MIDIServices.h"

DestinationSubscription::DestinationSubscription(Listener listener)
    : token_(MIDIServices::shared().addDestinationListener(std::move(listener))) {}

DestinationSubscription::~DestinationSubscription() { MIDIServices::shared().removeDestinationListener(token_); }
