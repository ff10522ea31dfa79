// Posting to the default notification center, once someone has registered.
#pragma once

void notify_register();
void notify_post(const char* name);
