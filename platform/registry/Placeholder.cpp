// Keeps the platform library non-empty until its first real source lands.
