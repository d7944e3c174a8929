#pragma once
// TVenSystemMode: whether the program runs on the application-hosting platform.
